// Creation of the program's single instances, in start-up order.

#include "shell/startup.h"

#include "newwin/tform3.h"
#include "shell/tdlg_about.h"

namespace shell {

std::unique_ptr<TForm1> create_main_windows()
{
    auto frame = std::make_unique<TForm1>();
    frame->Form3 = new newwin::TForm3(frame.get());
    // The Global options dialog (Toptdlg) is created here, after the New window dialog.
    // The Save configuration dialog (Tsave_later) is created here, before the About dialog.
    frame->dlg_about = new Tdlg_about(frame.get());
    return frame;
}

}  // namespace shell
