#pragma once
// The print options of the custom slideshow listing: which groups of settings
// each sequence lists, and an estimate of the pages this takes. The ticks are
// kept in the print-area flags of program() for the rest of the run;
// program().print_cancelled tells the caller afterwards whether to print.
#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace lv {

class frmSetprint : public QDialog {
    Q_OBJECT
public:
    // The window load: the boxes from the flags, print_cancelled := 0.
    explicit frmSetprint(QWidget* parent = nullptr);

    // Copies the boxes into the four flags and shows the page estimate.
    // Does nothing while the dialog sets up its boxes.
    void figure_pages();

    QLabel* Label1 = nullptr;
    QCheckBox* Check1 = nullptr;   // "Image Settings"
    QCheckBox* Check2 = nullptr;   // "Background Settings"
    QCheckBox* Check3 = nullptr;   // "Caption Settings"
    QCheckBox* Check4 = nullptr;   // "Audio Settings"
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;      // the estimate
    QPushButton* Command1 = nullptr;   // "&Ok"
    QPushButton* Command2 = nullptr;   // "&Cancel"

    // Every way of closing ends here. A close other than "&Ok" (the close
    // box, Esc) counts as "&Cancel": nothing is printed that the user did
    // not confirm.
    void done(int r) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void ok_click();
    void cancel_click();
    int loading_ = 0;
    int first_activation_ = 0;
    bool by_button_ = false;
};

}  // namespace lv
