#pragma once
// The real modal message box, a QMessageBox: the program puts it in place once its application
// object exists, and show_message uses it from then on.

namespace platform {

void use_real_message_boxes();

}  // namespace platform
