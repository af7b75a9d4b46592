#include "qtserialport.h"
// (being written)
