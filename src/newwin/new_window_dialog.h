#pragma once
// The New window dialog: pick a stored window configuration or describe a new one, and save,
// change or remove window configurations. Created once at start-up and reused; it opens no
// window itself (the New action does, see new_action.h).

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace newwin {

class PortMaskEdit;

class NewWindowDialog : public QDialog {
    Q_OBJECT

public:
    explicit NewWindowDialog(QWidget* parent = nullptr);

    // Set by a change of the port field that port_set_by_selection doesn't absorb (the user
    // typed a port); cleared only by a successful Save. The New action opens an unsaved window
    // while it is set.
    bool port_edited = false;
    // The next change of the port field is the dialog filling in a selected configuration's
    // port and is absorbed instead of marking the port as edited.
    bool port_set_by_selection = false;

    // Controls, owned by the dialog through Qt's parent chain; each carries its name as
    // objectName.
    QGroupBox* GroupBox1 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* Button5 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    PortMaskEdit* MaskEdit1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QPushButton* Button3 = nullptr;
    // "Only &this computer may send": the window listens on the loopback addresses only.
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    // Event handlers, each reporting its own errors.
    void RadioButton1Click();
    void RadioButton2Click();
    void ComboBox1Change();
    void MaskEdit1Change();
    void Button3Click();
    void Button4Click();
    void Button5Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void load_config_names();
    // Puts names in the combo box's list, leaving its text as it was and raising no change
    // of it; afterwards no item is selected.
    void replace_list_silently(const QStringList& names);
    void remove_list_items_silently(const QString& name);
    void center_on_screen();
};

}  // namespace newwin
