// Small widgets of the main window: the round LEDs, labels that answer clicks, the radio
// group with an item index, and the two glyphs of the link button.
#pragma once

#include <QColor>
#include <QFont>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QStringList>

class QRadioButton;

// A round LED drawn in code: a bright disc when lit, a dark one when not. It blinks with every
// frame, so it draws one of two ready pictures over its own background and nothing else: no
// label layout, no repaint of the window behind it.
class TLed : public QWidget {
    Q_OBJECT
public:
    TLed(const QColor& litColor, QWidget* parent = nullptr);
    void setLit(bool lit);
    bool isLit() const { return lit_; }

Q_SIGNALS:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap litPixmap_;
    QPixmap darkPixmap_;
    bool lit_ = false;
};

// A label that reports single and double clicks. A line too long for the label is drawn
// shortened in the middle (a long device path keeps its start and its end), and the whole
// text is shown as the label's tip.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    // True when some line does not fit and is drawn shortened.
    bool isElided() const;

Q_SIGNALS:
    void clicked();
    void doubleClicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct TElision {
        bool known = false;
        QString text;
        int room = 0;
        QFont font;
        bool elided = false;
    };
    mutable TElision elision_;
};

// A group of radio buttons laid out side by side, addressed by item index.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QStringList& items, QWidget* parent = nullptr);
    int ItemIndex() const;
    // Selects the item without reporting a click; -1 or an index out of range clears it.
    void SetItemIndex(int index);
    QRadioButton* item(int index) const { return buttons_.value(index); }

Q_SIGNALS:
    // The operator chose an item.
    void clicked();

private:
    QList<QRadioButton*> buttons_;
};

// A group disabled so that nothing in it can be typed keeps its texts legible: its disabled
// text colours are the active ones.
void KeepLegibleWhenDisabled(QWidget* group);

// The link button's glyphs: a closed plug for a port that is open, an open one otherwise.
QIcon LinkGlyphOn();
QIcon LinkGlyphOff();
// The port's device went away while the link was on.
QIcon LinkGlyphLost();
