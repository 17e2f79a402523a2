#pragma once
// The about box: product name and version, the system information tool and
// the two web pages.
#include <QDialog>

#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QUrl;

namespace lv {

class LabelControl;

// The maker's web site and the product's page.
inline constexpr const char* maker_home_page = "https://www.tavrel.example/";
inline constexpr const char* product_home_page = "https://www.tavrel.example/lumivane/";

inline constexpr const char* sysinfo_unavailable_text = "System Information Is Unavailable At This Time";
inline constexpr const char* browser_error_text =
    "Error Launching Your Default Browser!\n\nPlease make sure you have a DEFAULT browser selected and try again.";

class frm_About : public QDialog {
    Q_OBJECT
public:
    // ---- replaceable services --------------------------------------------
    // The system information tool's path; "" when none is installed. By
    // default the first of sysinfo_tools found on the PATH.
    static std::function<std::string()> find_sysinfo_tool;
    // Starts a program; false when it could not be started.
    static std::function<bool(const std::string&)> start_program;
    // Opens a web address in the default browser; false when that failed.
    static std::function<bool(const QUrl&)> open_url;
    // The desktop's system information tools, most fitting first.
    static const char* const sysinfo_tools[];

    explicit frm_About(QWidget* parent = nullptr);

    LabelControl* FXLabel1 = nullptr;   // product name
    LabelControl* FXLabel2 = nullptr;   // version
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
    QPushButton* Command1 = nullptr;    // the maker's home page
    QPushButton* Command2 = nullptr;    // the product's home page
    QLabel* Image1 = nullptr;

    void StartSysInfo();
    void open_web_page(const char* address);

private:
    void show_box(const QString& title, const QString& text);
};

// "Version 6.0.11".
std::string about_version_text();

}  // namespace lv
