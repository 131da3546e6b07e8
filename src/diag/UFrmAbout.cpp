#include "diag/UFrmAbout.h"

#include "model/UShareData.h"
#include "ui/uMenuFlags.h"
#include "ui/uNamed.h"
#include "ui/uViewMainHooks.h"
#include "ui/uWindowFlags.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {
constexpr int BoxWidth = 329;
constexpr int HeightWithPanel = 340;
constexpr int HeightWithoutPanel = 280;
} // namespace

QPixmap ProductPicture()
{
    QPixmap picture(305, 73);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 305, 73);
    sky.setColorAt(0, QColor(16, 44, 84));
    sky.setColorAt(1, QColor(22, 110, 130));
    p.fillRect(picture.rect(), sky);

    // A modular cabinet: a frame with a monitor panel on top and a stack of power modules,
    // each with its status lamp.
    const QRectF cabinet(14, 6, 46, 61);
    p.setPen(QPen(QColor(200, 210, 220), 1.5));
    p.setBrush(QColor(52, 60, 72));
    p.drawRoundedRect(cabinet, 3, 3);
    p.setBrush(QColor(120, 200, 240));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(20, 11, 22, 9)); // monitor display
    for (int m = 0; m < 5; ++m) {
        const qreal y = 25 + m * 8;
        p.setBrush(QColor(92, 102, 116));
        p.drawRect(QRectF(19, y, 36, 6));
        p.setBrush(m == 3 ? QColor(250, 190, 40) : QColor(70, 220, 90));
        p.drawEllipse(QPointF(51, y + 3), 1.8, 1.8);
    }

    // A sine wave running out of the cabinet: clean power to the load.
    QPainterPath wave;
    wave.moveTo(66, 52);
    for (int x = 66; x <= 296; ++x) wave.lineTo(x, 52 + 7 * std::sin((x - 66) / 14.0));
    p.setPen(QPen(QColor(255, 255, 255, 110), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);

    QFont name = p.font();
    name.setBold(true);
    name.setPixelSize(30);
    name.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    p.setFont(name);
    p.setPen(Qt::white);
    p.drawText(QRectF(72, 4, 120, 36), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ZYR"));
    QFont line = p.font();
    line.setBold(false);
    line.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    line.setPixelSize(13);
    p.setFont(line);
    p.setPen(QColor(210, 235, 245));
    p.drawText(QRectF(150, 8, 150, 16), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Modular UPS"));
    p.drawText(QRectF(150, 24, 150, 16), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Service Tool"));
    return picture;
}

TFrmAbout::TFrmAbout(QWidget* parent)
    : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("FrmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(BoxWidth, HeightWithoutPanel);
    setFocusPolicy(Qt::StrongFocus); // the box itself takes the typed characters

    Image1 = MakeNamed<QLabel>(this, "Image1", QRect(12, 12, 305, 73));
    Image1->setPixmap(ProductPicture());
    Label2 = MakeNamed<QLabel>(this, "Label2", QRect(12, 98, 305, 22));
    Label2->setText(QStringLiteral("Ro55 Engineering Software"));
    Label2->setAlignment(Qt::AlignCenter);
    QFont bold = Label2->font();
    bold.setBold(true);
    bold.setPixelSize(15);
    Label2->setFont(bold);
    lb_Version = MakeNamed<QLabel>(this, "lb_Version", QRect(12, 124, 305, 20));
    lb_Version->setAlignment(Qt::AlignCenter);
    edt1 = MakeNamed<QLineEdit>(this, "edt1", QRect(12, 150, 100, 22));

    grpSelect = MakeNamed<QGroupBox>(this, "grpSelect", QRect(12, 156, 305, 178));
    grp1 = MakeNamed<QGroupBox>(grpSelect, "grp1", QRect(8, 6, 140, 134));
    grp1->setTitle(QStringLiteral("Setting"));
    grp2 = MakeNamed<QGroupBox>(grpSelect, "grp2", QRect(157, 6, 140, 134));
    grp2->setTitle(QStringLiteral("Tools"));
    const char* const texts[5] = {"menu", "Item 1", "Item 2", "Item 3", "Item 4"};
    QCheckBox** setting[5] = {&chkM20, &chkM21, &chkM22, &chkM23, &chkM24};
    QCheckBox** tools[5] = {&chkM30, &chkM31, &chkM32, &chkM33, &chkM34};
    for (int i = 0; i < 5; ++i) {
        const QByteArray n2 = "chkM2" + QByteArray::number(i);
        const QByteArray n3 = "chkM3" + QByteArray::number(i);
        *setting[i] = MakeNamed<QCheckBox>(grp1, n2.constData(), QRect(12, 22 + 21 * i, 120, 20));
        *tools[i] = MakeNamed<QCheckBox>(grp2, n3.constData(), QRect(12, 22 + 21 * i, 120, 20));
        (*setting[i])->setText(QString::fromLatin1(texts[i]));
        (*tools[i])->setText(QString::fromLatin1(texts[i]));
    }
    chkPSht2 = MakeNamed<QCheckBox>(grpSelect, "chkPSht2", QRect(20, 148, 200, 22));
    chkPSht2->setText(QStringLiteral("Module Page"));
    FormCreate();
}

void TFrmAbout::FormCreate()
{
    grpSelect->hide();
    edt1->hide();
    lb_Version->setText(QStringLiteral("Ver: ") + QStringLiteral(ZYR_VERSION));
}

QList<TFrmAbout::TFlagBox> TFrmAbout::flagBoxes() const
{
    return {
        {chkM20, &LocalPara.Menu02, 1}, {chkM21, &LocalPara.Menu02, 2},     {chkM22, &LocalPara.Menu02, 3},
        {chkM23, &LocalPara.Menu02, 4}, {chkM24, &LocalPara.Menu02, 5},     {chkM30, &LocalPara.Menu03, 1},
        {chkM31, &LocalPara.Menu03, 2}, {chkM32, &LocalPara.Menu03, 3},     {chkM33, &LocalPara.Menu03, 4},
        {chkM34, &LocalPara.Menu03, 5}, {chkPSht2, &LocalPara.PageSheet, 2}};
}

void TFrmAbout::FormActivate()
{
    edt1->clear();
    LoadMenuChecks();
}

void TFrmAbout::LoadMenuChecks()
{
    setFixedHeight(grpSelect->isHidden() ? HeightWithoutPanel : HeightWithPanel);
    for (const TFlagBox& f : flagBoxes()) f.box->setChecked(FlagCharOn(*f.flags, f.character));
}

void TFrmAbout::FormKeyPress(QChar key)
{
    if (key == QChar(27)) {
        close();
        return;
    }
    const char16_t c = key.unicode();
    if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z')) {
        QString typed = edt1->text() + key;
        if (typed.size() > 10) typed.clear();
        edt1->setText(typed);
        if (typed == QLatin1String("tulip")) grpSelect->show();
        return;
    }
    edt1->clear();
    grpSelect->hide();
}

void TFrmAbout::FormClose()
{
    if (!grpSelect->isHidden())
        for (const TFlagBox& f : flagBoxes()) SetFlagChar(*f.flags, f.character, f.box->isChecked());
    grpSelect->hide();
    ViewMain().ApplyMenuVisibility();
}

// Every way of closing the box (Escape, the system menu, close()) ends here.
void TFrmAbout::done(int result)
{
    FormClose();
    QDialog::done(result);
}

bool TFrmAbout::event(QEvent* event)
{
    const bool handled = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return handled;
}

// The characters typed while no check box of the panel holds the focus are the box's own and
// are swallowed; keys that type nothing (Shift, the arrows) pass.
void TFrmAbout::keyPressEvent(QKeyEvent* event)
{
    QWidget* focus = focusWidget();
    if (focus && focus != this && grpSelect->isAncestorOf(focus)) {
        QDialog::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        FormKeyPress(QChar(27));
        return;
    }
    const QString text = event->text();
    if (text.isEmpty()) {
        QDialog::keyPressEvent(event);
        return;
    }
    FormKeyPress(text.at(0));
}
