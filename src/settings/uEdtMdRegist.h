// The register editor: a short list of registers, each with the value it holds; the operator
// picks one, types a new value and sends it with function 6. Used by the runtime counters.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>

class QComboBox;
class QFrame;
class QLineEdit;
class QListWidget;
class QPushButton;
class TRadioGroup;

// One register of the editor.
struct TMdRegEntry {
    uint16_t Reg = 0;
    uint16_t Value = 0;
    uint8_t Kind = 0; // 2: the value is typed as a decimal number
};

class TfrmEdtMdRegist : public QDialog {
    Q_OBJECT
public:
    static constexpr int MaxEntries = 10;
    static constexpr uint8_t KindNumber = 2;

    explicit TfrmEdtMdRegist(QWidget* parent = nullptr);

    // Stores the title and shows it as the window caption.
    void SetTitle(const QString& title);
    QString Title() const { return title_; }
    // Adds an entry for a register (register 0 is ignored). An eleventh entry replaces the
    // tenth, in the table and in the list.
    void AddEntry(uint16_t reg, uint16_t value);
    int EntryCount() const { return entryCount_; }
    // Entry k, numbered from 1.
    const TMdRegEntry& Entry(int k) const { return entries_[k]; }
    // The entry chosen in the list, 0 when none.
    int CurEntry() const { return curEntry_; }

    void FormCreate();
    void lstSelctClick();
    // The key filter of the value edit: digits, Backspace and the clipboard keys Ctrl+C,
    // Ctrl+V, Ctrl+X pass; false for a key that is dropped.
    static bool edtTextKeyPress(QChar key);
    void btnSendClick();

    QListWidget* lstSelct = nullptr;
    QFrame* pnlEdit = nullptr;
    QLineEdit* edtText = nullptr;
    QFrame* pnlSelect = nullptr;
    QComboBox* cbbSelect = nullptr;
    TRadioGroup* rgChoise = nullptr;
    QPushButton* btnSend = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void hideEditors();

    QString title_;
    TMdRegEntry entries_[MaxEntries + 1]; // numbered from 1
    int entryCount_ = 0;
    int curEntry_ = 0;
};
