// The "Refused senders" dialog: a read-only table of refusals and a Close button.

#include "logwin/refused_senders_dialog.h"

#include "help/helpsys.h"
#include "platform/form_layout.h"
#include "platform/text_fit.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace logwin {

using platform::named;

RefusedSendersDialog::RefusedSendersDialog(const std::vector<channel::Refusal>& refusals, std::int64_t refused,
                                           QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("refused_senders_dialog"));
    setWindowTitle(QStringLiteral("Refused senders"));
    setFont(platform::interface_font(10));
    help::set_help_context(this, help::context_log_window);
    resize(520, 360);

    const QString listed = refused > static_cast<std::int64_t>(refusals.size())
                               ? QStringLiteral(" in all; the last %1 are listed, newest first.").arg(refusals.size())
                               : QStringLiteral(", newest first.");
    count_label = named(new QLabel(QStringLiteral("%1 refused").arg(refused) + listed, this), "count_label");
    table = named(new QTableWidget(static_cast<int>(refusals.size()), 3, this), "refusals_table");
    table->setHorizontalHeaderLabels({QStringLiteral("Time"), QStringLiteral("Address"), QStringLiteral("Reason")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < table->rowCount(); ++row) {
        const channel::Refusal& refusal = refusals[static_cast<std::size_t>(row)];
        const QStringList cells{
            QDateTime::fromMSecsSinceEpoch(refusal.time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            QString::fromStdString(refusal.sender.text()), channel::reason_text(refusal)};
        for (int column = 0; column < cells.size(); ++column)
            table->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    table->resizeColumnsToContents();

    close_button = named(new QPushButton(QStringLiteral("&Close"), this), "close_button");
    close_button->setDefault(true);
    connect(close_button, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close_button);
    auto* page = new QVBoxLayout(this);
    page->addWidget(count_label);
    page->addWidget(table);
    page->addLayout(buttons);
    platform::fit_text(this);
}

}  // namespace logwin
