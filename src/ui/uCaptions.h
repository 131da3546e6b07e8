// Caption tables: each window lists its captions as {component, English, Chinese} rows and
// applies the table in its ApplyCaptions(); the language flag picks the column.
#pragma once

#include <QString>

#include <initializer_list>

class QObject;

struct TCaptionRow {
    QObject* target;
    const char* en; // UTF-8
    const char* zh; // UTF-8
};

// The text of the current language: Chinese when the language flag is 1, English otherwise.
QString CaptionText(const TCaptionRow& row);

// Sets one caption: the title of a window, a group box or a menu, the text of a button,
// a label, a check box or an action, the text of a tab page in its tab widget.
void SetCaption(QObject* target, const QString& text);

// Applies every row with the current language flag.
void ApplyCaptionTable(std::initializer_list<TCaptionRow> rows);
