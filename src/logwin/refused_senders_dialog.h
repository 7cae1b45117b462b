#pragma once
// The "Refused senders" dialog of the Edit menu: the last refusals of the active window's
// channel, newest first, as they were when it opened.

#include "channel/refusals.h"

#include <QDialog>

#include <cstdint>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace logwin {

class RefusedSendersDialog : public QDialog {
    Q_OBJECT

public:
    // refusals: newest first; refused: how many there were in all.
    RefusedSendersDialog(const std::vector<channel::Refusal>& refusals, std::int64_t refused, QWidget* parent = nullptr);

    QLabel* count_label = nullptr;
    // Time (local), address, reason; read-only.
    QTableWidget* table = nullptr;
    QPushButton* close_button = nullptr;
};

}  // namespace logwin
