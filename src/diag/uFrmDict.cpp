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
    const QString shown = QDir::toNativeSeparators(info.absoluteFilePath());
    if (!info.exists()) {
        error = QStringLiteral("Cannot open file \"%1\". The file does not exist.").arg(shown);
        return false;
    }
    // A folder, a pipe or a device is not opened: opening a pipe waits for a writer, and a
    // pipe or a device may never end.
    if (!info.isFile()) {
        error = QStringLiteral("Cannot open file \"%1\". It is not a plain file.").arg(shown);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Cannot open file \"%1\". %2").arg(shown, file.errorString());
        return false;
    }
    const QByteArray bytes = file.read(DictMaxBytes + 1);
    if (bytes.size() > DictMaxBytes) {
        error = QStringLiteral("\"%1\" is larger than %2 MiB and is not read.")
                    .arg(shown)
                    .arg(DictMaxBytes / (1024 * 1024));
        return false;
    }
    // UTF-16 and UTF-32 hold NUL bytes; their byte-order mark says so.
    const auto marked = QStringConverter::encodingForData(bytes);
    const bool unicodeMark = marked && *marked != QStringConverter::Utf8;
    if (!unicodeMark && bytes.contains('\0')) {
        error = QStringLiteral("\"%1\" is not a text file.").arg(shown);
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
    QStringList lines;
    const bool ok = ReadDictLines(FilePlaces().DictFile, lines, reason);
    items_.clear();
    items_.reserve(lines.size());
    byRegister_.clear();
    for (const QString& line : std::as_const(lines)) {
        items_.append(DelimitedItems(line, QLatin1Char(',')));
        const QStringList& items = items_.constLast();
        if (items.isEmpty()) continue;
        bool number = false;
        const int reg = items.first().toInt(&number);
        if (number && !byRegister_.contains(reg)) byRegister_.insert(reg, int(items_.size()) - 1);
    }
    if (error) *error = reason;
    return ok;
}

QString TfrmDict::LookupName(int reg, int field) const
{
    const auto it = byRegister_.constFind(reg);
    return it == byRegister_.constEnd() ? QString() : items_.at(*it).value(field);
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
    // Items 0 and 1 of each line (DelimitedField 0 and 1), with nothing between them.
    QStringList shown;
    shown.reserve(items_.size());
    for (const QStringList& items : std::as_const(items_)) shown << items.value(0) + items.value(1);
    mmo1->setPlainText(shown.join(QLatin1Char('\n')));
}
