#pragma once

namespace TC {

// Keys of the user settings kept in the user configuration. The numbers are part of the stored format.
enum EUserMember
{
    USER_BATCH_ORDER_SHORTCUT_ENABLED = 82, // bool: ordering by the order key switched on
    USER_BATCH_ORDER_SHORTCUT_KEY = 83,     // string: the order key, QKeySequence native text
    USER_BATCH_ORDER_FILE_PATH = 84,        // string: the instruction file path

    // The reference host's window, as the user left it.
    USER_HOST_WINDOW_GEOMETRY = 1001, // string: QMainWindow::saveGeometry, base64
    USER_HOST_WINDOW_STATE = 1002,    // string: QMainWindow::saveState (docks and their sizes), base64
    USER_HOST_CONSOLE_OPEN = 1003,    // bool: the panel's message console is open
    USER_HOST_CONSOLE_WIDTH = 1004,   // string: the console's width in pixels
    USER_HOST_THEME_LIGHT = 1005,     // bool: the light theme instead of the dark one
};

} // namespace TC
