#pragma once
// "Preview SlideShow": asks from which sequence the editor's preview starts.
// Opened modally by the custom editor; reports through run().start_image only
// (the chosen sequence, or 0 when the user cancelled).
#include <QDialog>

class QLabel;
class QPushButton;
class QScrollBar;

namespace lv {

class frmStartfrom : public QDialog {
    Q_OBJECT
public:
    // The load: the scroll bar runs from 1 to image_count and starts on
    // run().start_image; the labels show that sequence.
    explicit frmStartfrom(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;     // the question
    QScrollBar* HScroll1 = nullptr;
    QLabel* Label3 = nullptr;     // "1"
    QLabel* Label2 = nullptr;     // image_count
    QLabel* Label4 = nullptr;     // the scroll bar's value
    QLabel* Label6 = nullptr;     // "Image:"
    QLabel* Label5 = nullptr;     // the sequence's file title
    QLabel* Label8 = nullptr;     // "Caption:"
    QLabel* Label7 = nullptr;     // the sequence's caption
    QPushButton* Command21 = nullptr;   // "&Ok"
    QPushButton* Command20 = nullptr;   // "&Cancel And Exit"

private:
    void scroll_changed(int v);
};

}  // namespace lv
