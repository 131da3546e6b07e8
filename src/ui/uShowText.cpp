#include "ui/uShowText.h"

#include <QLabel>
#include <QLineEdit>

void ShowText(QLineEdit* field, const QString& text)
{
    if (field->text() != text) field->setText(text);
}

void ShowText(QLabel* label, const QString& text)
{
    if (label->text() != text) label->setText(text);
}
