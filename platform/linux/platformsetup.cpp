#include "platformsetup.h"

void preparePlatform()
{
}
