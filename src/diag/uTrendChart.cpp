#include "diag/uTrendChart.h"

#include <QChart>
#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// Each axis's range from what it shows, with a little room above and below.
struct Range {
    double lo = std::numeric_limits<double>::max();
    double hi = std::numeric_limits<double>::lowest();
    void add(double v)
    {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    void applyTo(QValueAxis* axis, double emptyLo, double emptyHi) const
    {
        if (lo > hi) {
            axis->setRange(emptyLo, emptyHi);
            return;
        }
        const double pad = std::max((hi - lo) * 0.08, 1.0);
        // Values that are never negative keep the axis at zero or above.
        const double from = lo >= 0 ? std::max(0.0, lo - pad) : lo - pad;
        const double to = hi + pad;
        // About six ticks at a step of 1, 2 or 5 times a power of ten.
        const double raw = (to - from) / 6.0;
        const double power = std::pow(10.0, std::floor(std::log10(raw)));
        const double step = raw / power <= 1 ? power : raw / power <= 2 ? 2 * power : raw / power <= 5 ? 5 * power : 10 * power;
        const double a = std::floor(from / step) * step;
        const double b = std::ceil(to / step) * step;
        axis->setRange(a, b);
        axis->setTickCount(int(std::lround((b - a) / step)) + 1);
        axis->setLabelFormat(step < 1 ? QStringLiteral("%.1f") : QStringLiteral("%.0f"));
    }
};
} // namespace

TTrendChartView::TTrendChartView(QWidget* parent) : QChartView(parent)
{
    auto* c = new QChart;
    c->legend()->hide();
    c->setMargins(QMargins(4, 4, 4, 4));
    setChart(c);
    setRenderHint(QPainter::Antialiasing, false); // a day of samples draws fast without it
    setMouseTracking(true);

    axTime = new QDateTimeAxis;
    axTime->setFormat(QStringLiteral("HH:mm:ss"));
    axTime->setTickCount(7);
    axLeft = new QValueAxis;
    axRight = new QValueAxis;
    axLeft->setLabelFormat(QStringLiteral("%.0f"));
    axRight->setLabelFormat(QStringLiteral("%.0f"));
    axRight->setGridLineVisible(false); // one grid, the volts'
    axRight->setMinorGridLineVisible(false);
    c->addAxis(axTime, Qt::AlignBottom);
    c->addAxis(axLeft, Qt::AlignLeft);
    c->addAxis(axRight, Qt::AlignRight);
    anchorLeft_ = new QLineSeries;
    anchorRight_ = new QLineSeries;
    c->addSeries(anchorLeft_);
    c->addSeries(anchorRight_);
    anchorLeft_->attachAxis(axTime);
    anchorLeft_->attachAxis(axLeft);
    anchorRight_->attachAxis(axTime);
    anchorRight_->attachAxis(axRight);
    axLeft->setRange(0, 250);
    axRight->setRange(0, 100);
}

QColor TTrendChartView::ChannelColor(int channel)
{
    static const QColor colors[] = {
        QColor(0xd6, 0x27, 0x28), QColor(0x1f, 0x77, 0xb4), QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
        QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b), QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f),
        QColor(0xbc, 0xbd, 0x22), QColor(0x17, 0xbe, 0xcf), QColor(0x00, 0x00, 0x80), QColor(0x80, 0x00, 0x00),
    };
    const int n = int(sizeof colors / sizeof colors[0]);
    QColor c = colors[channel % n];
    return channel >= n ? c.darker(140) : c;
}

int TTrendChartView::PlotColumns() const
{
    const int w = int(chart()->plotArea().width());
    return w > 10 ? w : std::max(100, width() - 120);
}

void TTrendChartView::Redraw(const TTrendRing& ring, const std::vector<int>& shown, int64_t from, int64_t to)
{
    from_ = from;
    to_ = std::max(to, from + 1);
    ReduceTrend(ring, shown, from_, to_, PlotColumns(), plot_);

    shown_ = shown;
    Range left, right;
    for (size_t k = 0; k < shown.size(); ++k) {
        Range& r = TrendColumns()[size_t(shown[k])]->rightAxis ? right : left;
        for (const auto& run : plot_.runs[k])
            for (const QPointF& p : run) r.add(p.y());
    }
    axTime->setRange(QDateTime::fromMSecsSinceEpoch(from_), QDateTime::fromMSecsSinceEpoch(to_));
    axTime->setFormat(to_ - from_ > 2 * 3600 * 1000 ? QStringLiteral("HH:mm") : QStringLiteral("HH:mm:ss"));
    left.applyTo(axLeft, 0, 250);
    right.applyTo(axRight, 0, 100);
    viewport()->update();
}

void TTrendChartView::SetMarks(std::vector<TTrendMark> marks)
{
    marks_ = std::move(marks);
    viewport()->update();
}

void TTrendChartView::SetAxisTitles(const QString& time, const QString& left, const QString& right)
{
    axTime->setTitleText(time);
    axLeft->setTitleText(left);
    axRight->setTitleText(right);
}

void TTrendChartView::SetCursorTime(int64_t time)
{
    cursor_ = time;
    viewport()->update();
}

namespace {
// A reduced run in pixels: each pixel column is one vertical stroke from the lowest to the
// highest point that falls in it; the step to the next column is shared halfway between the
// two, so the line stays joined. Columns further apart are joined by a plain line. Every pixel
// is drawn once, where a polyline through each column's minimum and maximum goes up and down
// again.
void addColumnStrokes(const std::vector<QPointF>& px, std::vector<QLine>& out)
{
    if (px.empty()) return;
    int x = int(std::floor(px[0].x()));
    int y = int(std::lround(px[0].y()));
    int top = y, bottom = y;
    for (size_t i = 1; i < px.size(); ++i) {
        const int nx = int(std::floor(px[i].x()));
        const int ny = int(std::lround(px[i].y()));
        if (nx == x) {
            top = std::min(top, ny);
            bottom = std::max(bottom, ny);
        } else if (nx - x > 1) {
            out.emplace_back(x, top, x, bottom);
            out.emplace_back(x, y, nx, ny);
            top = bottom = ny;
            x = nx;
        } else {
            const int half = (y + ny) / 2;
            out.emplace_back(x, std::min(top, half), x, std::max(bottom, half));
            top = std::min(half, ny);
            bottom = std::max(half, ny);
            x = nx;
        }
        y = ny;
    }
    out.emplace_back(x, top, x, bottom);
}
} // namespace

void TTrendChartView::paintRuns(QPainter* painter, const QRectF& area) const
{
    if (area.width() <= 0 || area.height() <= 0) return;
    painter->setClipRect(area);
    painter->setRenderHint(QPainter::Antialiasing, false);
    const double span = double(to_ - from_);
    std::vector<QPointF> line;
    std::vector<QLine> strokes;
    for (size_t k = 0; k < shown_.size() && k < plot_.runs.size(); ++k) {
        const int ch = shown_[k];
        const QValueAxis* axis = TrendColumns()[size_t(ch)]->rightAxis ? axRight : axLeft;
        const double lo = axis->min();
        const double range = std::max(1e-9, axis->max() - lo);
        QPen pen(ChannelColor(ch));
        pen.setCosmetic(true);
        pen.setWidth(1);
        painter->setPen(pen);
        strokes.clear();
        for (const auto& run : plot_.runs[k]) {
            line.resize(run.size());
            for (size_t i = 0; i < run.size(); ++i)
                line[i] = QPointF(area.left() + area.width() * (run[i].x() - double(from_)) / span,
                                  area.bottom() - area.height() * (run[i].y() - lo) / range);
            if (plot_.reduced)
                addColumnStrokes(line, strokes);
            else if (line.size() == 1)
                painter->drawPoint(line[0]); // a lone sample between two gaps still shows
            else
                painter->drawPolyline(line.data(), int(line.size()));
        }
        if (!strokes.empty()) painter->drawLines(strokes.data(), int(strokes.size()));
    }
    painter->setClipping(false);
}

void TTrendChartView::mouseMoveEvent(QMouseEvent* event)
{
    QChartView::mouseMoveEvent(event);
    const QRectF area = chart()->plotArea();
    const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    if (!area.contains(at) || area.width() <= 0) return;
    const double f = (at.x() - area.left()) / area.width();
    Q_EMIT cursorMoved(qint64(double(from_) + f * double(to_ - from_)));
}

void TTrendChartView::drawForeground(QPainter* painter, const QRectF& rect)
{
    QChartView::drawForeground(painter, rect);
    const QRectF area = chart()->mapToScene(chart()->plotArea()).boundingRect();
    const auto x = [&](int64_t t) { return area.left() + area.width() * double(t - from_) / double(to_ - from_); };
    painter->save();
    paintRuns(painter, area);
    // State changes: a dashed line and the new state's text along the time axis.
    QPen markPen(QColor(0x60, 0x60, 0x60));
    markPen.setStyle(Qt::DashLine);
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() - 1));
    painter->setFont(small);
    const QFontMetrics fm(small);
    double lastTextEnd = -1e9;
    for (const TTrendMark& m : marks_) {
        if (m.time < from_ || m.time > to_) continue;
        const double mx = x(m.time);
        painter->setPen(markPen);
        painter->drawLine(QPointF(mx, area.top()), QPointF(mx, area.bottom()));
        if (mx < lastTextEnd) continue; // texts do not overlap; the line still shows
        QRectF box(mx + 2, area.bottom() - fm.height() - 2, fm.horizontalAdvance(m.text) + 4, fm.height());
        if (box.right() > area.right()) box.moveRight(area.right()); // stays inside the plot
        if (box.left() < lastTextEnd) continue;
        painter->fillRect(box, QColor(255, 255, 255, 200));
        painter->setPen(QColor(0x30, 0x30, 0x30));
        painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter, m.text);
        lastTextEnd = box.right();
    }
    if (cursor_ >= from_ && cursor_ <= to_) {
        painter->setPen(QPen(QColor(0, 0, 0), 1));
        const double cx = x(cursor_);
        painter->drawLine(QPointF(cx, area.top()), QPointF(cx, area.bottom()));
    }
    painter->restore();
}
