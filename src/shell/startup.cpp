// Creation of the program's single instances, in start-up order.

#include "shell/startup.h"

#include "newwin/tform3.h"
#include "shell/tdlg_about.h"
#include "shell/toptdlg.h"

namespace shell {

std::unique_ptr<TForm1> create_main_windows()
{
    auto frame = std::make_unique<TForm1>();
    frame->Form3 = new newwin::TForm3(frame.get());
    frame->optdlg = new Toptdlg(frame.get());
    // The Save configuration dialog (Tsave_later) is created here, before the About dialog.
    frame->dlg_about = new Tdlg_about(frame.get());
    return frame;
}

}  // namespace shell
