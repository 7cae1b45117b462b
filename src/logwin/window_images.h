#pragma once
// The log window's images: the acknowledge button's image and the two tab images.

#include <QIcon>

namespace logwin {

// Image 0 of the tool bar's image list.
QIcon acknowledge_image();
// Images 0 and 1 of the tabs' image list: the "&View" tab and the "&Alert" tab.
QIcon view_tab_image();
QIcon alert_tab_image();

}  // namespace logwin
