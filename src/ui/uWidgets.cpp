#include "ui/uWidgets.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QRadioButton>

namespace {
QPixmap ledPixmap(const QColor& fill, int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(size * 0.35, size * 0.35, size * 0.7);
    g.setColorAt(0, fill.lighter(160));
    g.setColorAt(1, fill);
    p.setBrush(g);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    return pm;
}

// A plug and a socket; joined when the port is open, apart when it is closed.
QIcon linkGlyph(bool on, bool lost = false)
{
    const int s = 32;
    QPixmap pm(s, s);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor c = on ? QColor(0, 150, 0) : QColor(180, 30, 30);
    p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(c);
    const int gap = on ? 0 : 6;
    // plug body with two pins
    p.drawRoundedRect(QRectF(3, 11, 9, 10), 2, 2);
    p.drawLine(QPointF(12, 13), QPointF(15 - gap / 2.0, 13));
    p.drawLine(QPointF(12, 19), QPointF(15 - gap / 2.0, 19));
    // socket
    p.drawRoundedRect(QRectF(17 + gap / 2.0, 10, 9, 12), 2, 2);
    // cables
    p.drawLine(QPointF(3, 16), QPointF(0, 16));
    p.drawLine(QPointF(26 + gap / 2.0, 16), QPointF(31, 16));
    if (lost) { // the device is gone: a warning sign over the open plug
        const QColor amber(230, 150, 0);
        p.setPen(QPen(QColor(60, 40, 0), 1));
        p.setBrush(amber);
        const QPointF tri[3] = {QPointF(16, 1), QPointF(27, 20), QPointF(5, 20)};
        p.drawPolygon(tri, 3);
        p.setPen(QPen(QColor(40, 20, 0), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 7), QPointF(16, 13));
        p.drawPoint(QPointF(16, 17));
    }
    return QIcon(pm);
}
} // namespace

TLed::TLed(const QColor& litColor, QWidget* parent)
    : QWidget(parent), litPixmap_(ledPixmap(litColor, 16)), darkPixmap_(ledPixmap(litColor.darker(350), 16))
{
    setFixedSize(18, 18);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TLed::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    // Where a label would put it: at the left, centred from top to bottom.
    painter.drawPixmap(0, (height() - 16) / 2, lit_ ? litPixmap_ : darkPixmap_);
}

void TLed::setLit(bool lit)
{
    if (lit == lit_) return;
    lit_ = lit;
    update();
}

void TLed::mouseDoubleClickEvent(QMouseEvent* event)
{
    Q_EMIT doubleClicked();
    QWidget::mouseDoubleClickEvent(event);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Q_EMIT clicked();
    QLabel::mouseReleaseEvent(event);
}

void TClickLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    Q_EMIT doubleClicked();
    QLabel::mouseDoubleClickEvent(event);
}

bool TClickLabel::isElided() const
{
    // Measured again only when the text, the room or the font changed: the error rate's label
    // is drawn again every time the rate changes, and measuring cost more than drawing.
    const int room = contentsRect().width();
    if (elision_.known && elision_.text == text() && elision_.room == room && elision_.font == font())
        return elision_.elided;
    const QFontMetrics fm(font());
    bool elided = false;
    for (const QString& line : text().split(QLatin1Char('\n')))
        if (fm.horizontalAdvance(line) > room) {
            elided = true;
            break;
        }
    elision_ = {true, text(), room, font(), elided};
    return elided;
}

void TClickLabel::paintEvent(QPaintEvent* event)
{
    if (!isElided()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics fm(font());
    const QRect r = contentsRect();
    QStringList lines = text().split(QLatin1Char('\n'));
    for (QString& line : lines) line = fm.elidedText(line, Qt::ElideMiddle, r.width());
    const int h = fm.lineSpacing() * lines.size();
    int y = r.top() + (alignment() & Qt::AlignTop ? 0 : (r.height() - h) / 2);
    for (const QString& line : lines) {
        p.drawText(QRect(r.left(), y, r.width(), fm.lineSpacing()), int(Qt::AlignLeft | Qt::AlignVCenter),
                   line);
        y += fm.lineSpacing();
    }
}

TRadioGroup::TRadioGroup(const QStringList& items, QWidget* parent) : QGroupBox(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    for (const QString& text : items) {
        auto* b = new QRadioButton(text, this);
        layout->addWidget(b);
        buttons_.append(b);
        connect(b, &QRadioButton::clicked, this, [this] { Q_EMIT clicked(); });
    }
}

int TRadioGroup::ItemIndex() const
{
    for (int i = 0; i < buttons_.size(); ++i)
        if (buttons_[i]->isChecked()) return i;
    return -1;
}

void TRadioGroup::SetItemIndex(int index)
{
    for (int i = 0; i < buttons_.size(); ++i) {
        QRadioButton* b = buttons_[i];
        b->setAutoExclusive(false);
        b->setChecked(i == index);
        b->setAutoExclusive(true);
    }
}

void KeepLegibleWhenDisabled(QWidget* group)
{
    QPalette pal = group->palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(QPalette::Disabled, role, pal.color(QPalette::Active, role));
    group->setPalette(pal);
}

QIcon LinkGlyphOn() { return linkGlyph(true); }
QIcon LinkGlyphOff() { return linkGlyph(false); }
QIcon LinkGlyphLost() { return linkGlyph(false, true); }
