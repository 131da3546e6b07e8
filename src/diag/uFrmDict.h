// The register dictionary: the file "Dict(Wenlake).csv" (in the current folder, or in the
// user's data folder of an installed tool; model/uFilePlaces.h), one register
// per line (the register first, its name second), listed in a small window and looked up by
// the register viewer's name mode.
#pragma once

#include "model/uFilePlaces.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// A larger file is not read: a dictionary is a few thousand short lines.
constexpr qint64 DictMaxBytes = 4 * 1024 * 1024;

// Reads the lines of a dictionary file. False with the reason in error when the file is
// missing, not a plain file, larger than DictMaxBytes or not text (it holds NUL bytes); an
// empty file gives no line and no error. UTF-8 (with or without a byte-order mark), UTF-16
// with its mark, and otherwise the Chinese code page of the cabinets' own tools (GB18030).
bool ReadDictLines(const QString& path, QStringList& lines, QString& error);

class TfrmDict : public QWidget {
    Q_OBJECT
public:
    explicit TfrmDict(QWidget* parent = nullptr);
    ~TfrmDict() override;

    // Reads the dictionary file into the window's list of entries; on
    // failure the list is empty and the reason is in error (when given).
    bool LoadDictionary(QString* error = nullptr);
    // Item `field` of the first line whose first item is the register number, or the empty
    // text (no such line, no dictionary loaded).
    QString LookupName(int reg, int field) const;
    // Lines of the dictionary loaded.
    int EntryCount() const { return static_cast<int>(items_.size()); }

    void btn1Click();

    QPushButton* btn1 = nullptr;
    QPlainTextEdit* mmo1 = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QList<QStringList> items_;   // the items of each line
    QHash<int, int> byRegister_; // register -> its first line
};

// The dictionary window of the run (created at start-up), or nullptr.
extern TfrmDict* frmDict;
