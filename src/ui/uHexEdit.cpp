#include "ui/uHexEdit.h"

#include "model/uDataFunc.h"
#include "ui/uNamed.h"
#include "ui/uShowText.h"

#include <QRegularExpressionValidator>

namespace {
// Turns typed hexadecimal letters to upper case as they are typed.
class THexValidator : public QRegularExpressionValidator {
public:
    explicit THexValidator(QObject* parent)
        : QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,4}")), parent)
    {
    }
    State validate(QString& input, int& pos) const override
    {
        input = input.toUpper();
        return QRegularExpressionValidator::validate(input, pos);
    }
};
} // namespace

QLineEdit* MakeCodeField(QWidget* parent, const char* name)
{
    auto* e = MakeNamed<QLineEdit>(parent, name);
    QFont f = e->font();
    f.setBold(true);
    f.setPixelSize(13);
    e->setFont(f);
    e->setAlignment(Qt::AlignCenter);
    e->setMaxLength(4);
    e->setReadOnly(true);
    e->setText(QStringLiteral("0000"));
    // A disabled group keeps anyone from editing a word, but the words must stay legible.
    QPalette pal = e->palette();
    pal.setColor(QPalette::Disabled, QPalette::Text, pal.color(QPalette::Active, QPalette::Text));
    e->setPalette(pal);
    return e;
}

void SetHexWord(QLineEdit* field, uint32_t value) { ShowText(field, HexWord(value)); }

QLineEdit* MakeHexEdit(QWidget* parent, const char* name)
{
    auto* e = MakeNamed<QLineEdit>(parent, name);
    e->setMaxLength(4);
    e->setValidator(new THexValidator(e));
    return e;
}

uint16_t HexEditValue(const QLineEdit* edit, bool* ok)
{
    bool good = false;
    const uint32_t v = edit->text().trimmed().toUInt(&good, 16);
    good = good && v <= 0xFFFF;
    if (ok) *ok = good;
    return good ? static_cast<uint16_t>(v) : 0;
}
