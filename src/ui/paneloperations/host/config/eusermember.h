#pragma once

namespace TC {

// Keys of the user settings kept in the user configuration. The numbers are part of the stored format.
enum EUserMember
{
    USER_BATCH_ORDER_SHORTCUT_ENABLED = 82, // bool: ordering by the order key switched on
    USER_BATCH_ORDER_SHORTCUT_KEY = 83,     // string: the order key, QKeySequence native text
    USER_BATCH_ORDER_FILE_PATH = 84,        // string: the instruction file path
};

} // namespace TC
