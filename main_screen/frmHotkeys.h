#pragma once
// Binds a file to each of the keys F1-F12. Every way of closing stores the
// texts as they stand and saves all settings.
#include <QDialog>

#include <array>
#include <string>

class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lv {

class frmHotkeys : public QDialog {
    Q_OBJECT
public:
    explicit frmHotkeys(QWidget* parent = nullptr);

    std::array<QLineEdit*, 12> Text1{};      // the file bound to F(k+1)
    std::array<QLabel*, 12> Label1{};        // "F1".."F12"
    std::array<QPushButton*, 12> Command1{}; // "..."
    QLabel* Label2 = nullptr;
    QPushButton* Command21 = nullptr;        // "&Ok"
    QFileDialog* CommonDialog1 = nullptr;

    // Asks for a file; its path, or "" when none was chosen or it is empty.
    std::string get_file();
    // "..." of key k.
    void choose_file(int k);

    void done(int r) override;

private:
    // Applies the dialog's filter entry; the executables entry goes by the
    // execute bit.
    void use_filter(const QString& entry);

    bool unloaded_ = false;
};

// The file dialog's filters, in the order offered; the first is selected.
extern const std::array<const char*, 8> hotkey_file_filters;

}  // namespace lv
