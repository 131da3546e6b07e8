// The trend window: the selected cabinet's values over the last 10 minutes to 24 hours, from
// the ring the background poll fills from program start (open or not, the window sends
// nothing). Series by check box, a cursor that reads out every shown series, the state changes
// along the time axis, pause, and export of the shown series (CSV as the value logger writes
// it) and of the picture (PNG).
#pragma once

#include "model/uTrendRing.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;
class TTrendChartView;
struct TTrendMark;

class TfrmTrend : public QWidget {
    Q_OBJECT
public:
    // ring: the run's ring unless a test hands its own; now: the clock (milliseconds since the
    // epoch), the system's unless a test hands its own.
    explicit TfrmTrend(QWidget* parent = nullptr, const TTrendRing* ring = nullptr);

    void ApplyCaptions();
    // Draws the window again from the ring (unless paused).
    void RefreshPlot();
    // Read-out of every shown series at the sample nearest to time.
    void ShowCursorAt(int64_t time);
    // Writes the shown series of the window as CSV / the picture as PNG; false with the
    // message shown when the file could not be written.
    bool ExportCsv(const QString& path);
    bool ExportPng(const QString& path);
    // The channels (indexes into TrendColumns()) whose box is checked.
    std::vector<int> ShownChannels() const;
    // The time window in milliseconds.
    int64_t WindowMs() const;
    int64_t WindowEnd() const { return end_; }
    void SetClock(std::function<int64_t()> now) { now_ = std::move(now); }

    // Event handlers.
    void cbbWindowChange();
    void btnPauseClick();
    void btnExportCsvClick();
    void btnExportPngClick();
    void tmr1Timer();

    // Components.
    QGroupBox* grpSeries = nullptr;
    std::vector<QCheckBox*> chkSeries; // "chk" + column name, in TrendColumns() order
    QLabel* lblWindow = nullptr;
    QComboBox* cbbWindow = nullptr;
    QPushButton* btnPause = nullptr;
    QPushButton* btnExportCsv = nullptr;
    QPushButton* btnExportPng = nullptr;
    QLabel* lblState = nullptr;
    QLabel* lblCursor = nullptr;
    TTrendChartView* chtTrend = nullptr;
    QTimer* tmr1 = nullptr;

    bool Paused() const { return paused_; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    std::vector<TTrendMark> stateMarks(int64_t from, int64_t to) const;

    const TTrendRing& ring_;
    std::function<int64_t()> now_;
    QString captionsIn_; // the language of the captions shown
    bool paused_ = false;
    int64_t end_ = 0;         // the right edge of the shown window
    uint64_t drawnPushes_ = ~uint64_t(0);
};
