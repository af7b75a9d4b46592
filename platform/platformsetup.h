#pragma once

// What the platform needs settled before the application object exists.
void preparePlatform();
