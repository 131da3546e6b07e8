#include "diag/uFrmDict.h"

#include "model/uDataFunc.h"
#include "ui/uCaptions.h"
#include "ui/uNamed.h"
#include "ui/uUiSeam.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringDecoder>

const char* const DictFileName = "Dict(Wenlake).csv";
TfrmDict* frmDict = nullptr;

namespace {

QString decodeText(const QByteArray& bytes)
{
    // A byte-order mark names its encoding; text without one is UTF-8 when it is valid UTF-8,
    // otherwise the code page the cabinets' own tools write.
    if (const auto marked = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*marked);
        return decoder.decode(bytes);
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError()) return text;
    QStringDecoder gb("GB18030");
    if (gb.isValid()) return gb.decode(bytes);
    return QString::fromLatin1(bytes);
}

} // namespace

bool ReadDictLines(const QString& path, QStringList& lines, QString& error)
{
    lines.clear();
    const QFileInfo info(path);
    QFile file(path);
    if (!info.exists() || !file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Cannot open file \"%1\". %2")
                    .arg(QDir::toNativeSeparators(info.absoluteFilePath()),
                         info.exists() ? file.errorString() : QStringLiteral("The file does not exist."));
        return false;
    }
    // A folder, a pipe or a device is not read: a pipe or a device may never end.
    if (!info.isFile()) {
        error = QStringLiteral("Cannot open file \"%1\". It is not a plain file.")
                    .arg(QDir::toNativeSeparators(info.absoluteFilePath()));
        return false;
    }
    const QByteArray bytes = file.read(DictMaxBytes + 1);
    if (bytes.size() > DictMaxBytes) {
        error = QStringLiteral("\"%1\" is larger than %2 MiB and is not read.")
                    .arg(QDir::toNativeSeparators(info.absoluteFilePath()))
                    .arg(DictMaxBytes / (1024 * 1024));
        return false;
    }
    const bool unicodeMark = QStringConverter::encodingForData(bytes).has_value() &&
                             *QStringConverter::encodingForData(bytes) != QStringConverter::Utf8;
    if (!unicodeMark && bytes.contains('\0')) {
        error = QStringLiteral("\"%1\" is not a text file.")
                    .arg(QDir::toNativeSeparators(info.absoluteFilePath()));
        return false;
    }
    if (bytes.isEmpty()) return true;
    QString text = decodeText(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast(); // the end of the last line
    return true;
}

TfrmDict::TfrmDict(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmDict"));
    btn1 = MakeNamed<QPushButton>(this, "btn1", QRect(8, 8, 75, 25));
    mmo1 = MakeNamed<QPlainTextEdit>(this, "mmo1");
    mmo1->setReadOnly(true);
    mmo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(btn1, &QPushButton::clicked, this, [this] { btn1Click(); });
    ApplyCaptionTable({{this, "Dictionary ", "Dictionary "}, {btn1, "btn1", "btn1"}});
    resize(360, 300);
    frmDict = this;
}

TfrmDict::~TfrmDict()
{
    if (frmDict == this) frmDict = nullptr;
}

void TfrmDict::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    mmo1->setGeometry(8, 41, std::max(40, width() - 16), std::max(40, height() - 49));
}

bool TfrmDict::LoadDictionary(QString* error)
{
    QString reason;
    const bool ok = ReadDictLines(QDir::current().filePath(QLatin1String(DictFileName)), lines_, reason);
    byRegister_.clear();
    for (const QString& line : std::as_const(lines_)) {
        QStringList items = DelimitedItems(line, QLatin1Char(','));
        if (items.isEmpty()) continue;
        bool number = false;
        const int reg = items.first().toInt(&number);
        if (number && !byRegister_.contains(reg)) byRegister_.insert(reg, items);
    }
    if (error) *error = reason;
    return ok;
}

QString TfrmDict::LookupName(int reg, int field) const
{
    const auto it = byRegister_.constFind(reg);
    return it == byRegister_.constEnd() ? QString() : it->value(field);
}

void TfrmDict::btn1Click()
{
    mmo1->clear();
    QString error;
    if (!LoadDictionary(&error)) {
        TMessageBoxRequest r;
        r.parent = this;
        r.icon = QMessageBox::Critical;
        r.title = windowTitle();
        r.text = error;
        ShowMessageBox(r);
        return;
    }
    QStringList shown;
    shown.reserve(lines_.size());
    for (const QString& line : std::as_const(lines_))
        shown << DelimitedField(line, QLatin1Char(','), 0) + DelimitedField(line, QLatin1Char(','), 1);
    mmo1->setPlainText(shown.join(QLatin1Char('\n')));
}
