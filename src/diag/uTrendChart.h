// The trend's picture: a Qt Charts chart with volts on the left axis, amperes, %, °C and Hz on
// the right and local time below; over its plot area each run of each shown series (a gap in
// the ring ends a run, so nothing is ever joined across a loss or drawn to zero) is painted as
// one polyline, then the state changes and the cursor. The lines are painted here rather than
// as QLineSeries: a line series strokes a hit-test outline of every point whenever its points
// are replaced, which took most of a 24-hour redraw.
#pragma once

#include "model/uTrendReduce.h"

#include <QChartView>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QValueAxis>

#include <cstdint>
#include <vector>

struct TTrendMark {
    int64_t time;
    QString text;
};

class TTrendChartView : public QChartView {
    Q_OBJECT
public:
    explicit TTrendChartView(QWidget* parent = nullptr);

    // Draws the shown channels (indexes into TrendColumns()) of the window [from, to].
    void Redraw(const TTrendRing& ring, const std::vector<int>& shown, int64_t from, int64_t to);
    void SetMarks(std::vector<TTrendMark> marks);
    void SetAxisTitles(const QString& time, const QString& left, const QString& right);
    // The cursor's time (drawn as a line), or -1 for none.
    void SetCursorTime(int64_t time);
    int64_t CursorTime() const { return cursor_; }
    // Plot width in pixels: the columns of the reduction.
    int PlotColumns() const;
    const TTrendPlot& LastPlot() const { return plot_; }
    static QColor ChannelColor(int channel);

    QDateTimeAxis* axTime = nullptr;
    QValueAxis* axLeft = nullptr;
    QValueAxis* axRight = nullptr;

Q_SIGNALS:
    // The mouse moved over the plot to that time.
    void cursorMoved(qint64 time);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;

private:
    void paintRuns(QPainter* painter, const QRectF& area) const;

    std::vector<int> shown_;         // the channels of plot_.runs
    QLineSeries* anchorLeft_ = nullptr;  // empty series that keep the axes in the chart
    QLineSeries* anchorRight_ = nullptr;
    TTrendPlot plot_;
    std::vector<TTrendMark> marks_;
    int64_t cursor_ = -1;
    int64_t from_ = 0, to_ = 1;
};
