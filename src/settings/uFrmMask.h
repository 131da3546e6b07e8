// The alarm mask window: the cabinet's ten mask words (registers 40082 to 40091) in
// hexadecimal, read every fourth second while the port is open, and an Edit button per word
// that opens the bit-setting window.
#pragma once

#include <QDialog>

#include <cstdint>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class TfrmMask : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMask(QWidget* parent = nullptr);

    void FormCreate();
    void FormShow();
    void ApplyCaptions();
    void tmr1Timer();
    // Edit button n (1 to 10): the bit-setting window for mask word n, modal.
    void btnEdtClick(int channel);
    void btnEdt01Click() { btnEdtClick(1); }
    void btnEdt02Click() { btnEdtClick(2); }
    void btnEdt03Click() { btnEdtClick(3); }
    void btnEdt04Click() { btnEdtClick(4); }
    void btnEdt05Click() { btnEdtClick(5); }
    void btnEdt06Click() { btnEdtClick(6); }
    void btnEdt07Click() { btnEdtClick(7); }
    void btnEdt08Click() { btnEdtClick(8); }
    void btnEdt09Click() { btnEdtClick(9); }
    void btnEdt10Click() { btnEdtClick(10); }
    // Shows the ten words as they were last received.
    void ShowWords();

    // Ticks left before the next read; 0 at first, so the first tick reads.
    int ReadCountdown = 0;

    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QFrame* Panel3 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLineEdit* edtState01 = nullptr;
    QLineEdit* edtState02 = nullptr;
    QLineEdit* edtState03 = nullptr;
    QLineEdit* edtState04 = nullptr;
    QLineEdit* edtAlarm01 = nullptr;
    QLineEdit* edtAlarm02 = nullptr;
    QLineEdit* edtAlarm03 = nullptr;
    QLineEdit* edtAlarm04 = nullptr;
    QLineEdit* edtMnState = nullptr;
    QLineEdit* edtMnAlarm = nullptr;
    QPushButton* btnEdt01 = nullptr;
    QPushButton* btnEdt02 = nullptr;
    QPushButton* btnEdt03 = nullptr;
    QPushButton* btnEdt04 = nullptr;
    QPushButton* btnEdt05 = nullptr;
    QPushButton* btnEdt06 = nullptr;
    QPushButton* btnEdt07 = nullptr;
    QPushButton* btnEdt08 = nullptr;
    QPushButton* btnEdt09 = nullptr;
    QPushButton* btnEdt10 = nullptr;
    QTimer* tmr1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Channel order (index 0 is mask word 1).
    QLabel* labels_[10] = {};
    QLineEdit* edits_[10] = {};
    QPushButton* buttons_[10] = {};
};
