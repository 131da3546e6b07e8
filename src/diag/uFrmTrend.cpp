#include "diag/uFrmTrend.h"

#include "diag/uTrendChart.h"
#include "model/uDataFunc.h"
#include "model/uValueColumns.h"
#include "ui/uCaptions.h"
#include "ui/uNamed.h"
#include "ui/uUiSeam.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {
constexpr int64_t Minute = 60 * 1000;
constexpr int64_t WindowChoices[] = {10 * Minute, 60 * Minute, 8 * 60 * Minute, 24 * 60 * Minute};
constexpr int RefreshMs = 500;

QIcon swatch(const QColor& c)
{
    QPixmap p(12, 12);
    p.fill(c);
    return QIcon(p);
}

bool saveWhole(const QString& path, const QByteArray& bytes, QString& error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        error = f.errorString();
        return false;
    }
    return true;
}
} // namespace

TfrmTrend::TfrmTrend(QWidget* parent, const TTrendRing* ring)
    : QWidget(parent, Qt::Window), ring_(ring ? *ring : TrendRing),
      now_([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    setObjectName(QStringLiteral("frmTrend"));
    resize(980, 620);

    grpSeries = MakeNamed<QGroupBox>(this, "grpSeries");
    auto* seriesBox = new QVBoxLayout(grpSeries);
    seriesBox->setSpacing(1);
    seriesBox->setContentsMargins(6, 4, 6, 4);
    const auto& columns = TrendColumns();
    for (int i = 0; i < TrendChannelCount; ++i) {
        const QByteArray name = "chk" + QByteArray(columns[size_t(i)]->name);
        auto* box = MakeNamed<QCheckBox>(grpSeries, name.constData());
        box->setIcon(swatch(TTrendChartView::ChannelColor(i)));
        // Voltages of the input and output phases are shown at first; the rest on request.
        const QByteArray n(columns[size_t(i)]->name);
        box->setChecked(n.startsWith("InVolt") || n.startsWith("OutVolt") || n.startsWith("LoadPct"));
        seriesBox->addWidget(box);
        chkSeries.push_back(box);
        connect(box, &QCheckBox::toggled, this, [this] { RefreshPlot(); });
    }
    seriesBox->addStretch();

    lblWindow = MakeNamed<QLabel>(this, "lblWindow");
    cbbWindow = MakeNamed<QComboBox>(this, "cbbWindow");
    for (int i = 0; i < 4; ++i) cbbWindow->addItem(QString());
    btnPause = MakeNamed<QPushButton>(this, "btnPause");
    btnExportCsv = MakeNamed<QPushButton>(this, "btnExportCsv");
    btnExportPng = MakeNamed<QPushButton>(this, "btnExportPng");
    lblState = MakeNamed<QLabel>(this, "lblState");
    lblCursor = MakeNamed<QLabel>(this, "lblCursor");
    lblCursor->setWordWrap(true);
    lblCursor->setMinimumHeight(36);
    lblCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    chtTrend = Named(new TTrendChartView(this), "chtTrend");
    chtTrend->setMinimumSize(500, 300);
    tmr1 = Named(new QTimer(this), "tmr1");
    tmr1->setInterval(RefreshMs);

    auto* top = new QHBoxLayout;
    top->addWidget(lblWindow);
    top->addWidget(cbbWindow);
    top->addWidget(btnPause);
    top->addWidget(btnExportCsv);
    top->addWidget(btnExportPng);
    top->addSpacing(12);
    top->addWidget(lblState, 1);
    auto* right = new QVBoxLayout;
    right->addLayout(top);
    right->addWidget(chtTrend, 1);
    right->addWidget(lblCursor);
    auto* all = new QHBoxLayout(this);
    all->addWidget(grpSeries);
    all->addLayout(right, 1);

    connect(cbbWindow, &QComboBox::activated, this, [this] { cbbWindowChange(); });
    connect(btnPause, &QPushButton::clicked, this, [this] { btnPauseClick(); });
    connect(btnExportCsv, &QPushButton::clicked, this, [this] { btnExportCsvClick(); });
    connect(btnExportPng, &QPushButton::clicked, this, [this] { btnExportPngClick(); });
    connect(tmr1, &QTimer::timeout, this, [this] { tmr1Timer(); });
    connect(chtTrend, &TTrendChartView::cursorMoved, this, [this](qint64 t) { ShowCursorAt(t); });
    cbbWindow->setCurrentIndex(0);
    ApplyCaptions();
    tmr1->start();
}

void TfrmTrend::ApplyCaptions()
{
    captionsIn_ = LangText("en", "zh");
    ApplyCaptionTable({
        {this, "Trend", "趋势图"},
        {grpSeries, "Series", "曲线"},
        {lblWindow, "Time window", "时间范围"},
        {btnExportCsv, "Export CSV", "导出CSV"},
        {btnExportPng, "Save PNG", "保存PNG"},
    });
    SetCaption(btnPause, paused_ ? LangText("Resume", "继续") : LangText("Pause", "暂停"));
    const char* const windows[4][2] = {
        {"10 min", "10 分钟"}, {"1 h", "1 小时"}, {"8 h", "8 小时"}, {"24 h", "24 小时"}};
    for (int i = 0; i < 4; ++i) cbbWindow->setItemText(i, LangText(windows[i][0], windows[i][1]));
    const auto& columns = TrendColumns();
    for (int i = 0; i < TrendChannelCount; ++i) {
        const TValueColumn& c = *columns[size_t(i)];
        QString text = LangText(c.en, c.zh);
        if (*c.unit) text += QStringLiteral(" (%1)").arg(QString::fromUtf8(c.unit));
        chkSeries[size_t(i)]->setText(text);
        chkSeries[size_t(i)]->setToolTip(ColumnHeading(c));
    }
    chtTrend->SetAxisTitles(LangText("Local time", "本地时间"), LangText("V", "V"),
                            LangText("A / % / °C / Hz", "A / % / °C / Hz"));
    if (lblCursor->text().isEmpty() || chtTrend->CursorTime() < 0)
        lblCursor->setText(
            LangText("Move the mouse over the plot to read the values.", "将鼠标移到图上读取数值。"));
    drawnPushes_ = ~uint64_t(0);
    RefreshPlot();
}

std::vector<int> TfrmTrend::ShownChannels() const
{
    std::vector<int> shown;
    for (int i = 0; i < TrendChannelCount; ++i)
        if (chkSeries[size_t(i)]->isChecked()) shown.push_back(i);
    return shown;
}

int64_t TfrmTrend::WindowMs() const { return WindowChoices[std::clamp(cbbWindow->currentIndex(), 0, 3)]; }

std::vector<TTrendMark> TfrmTrend::stateMarks(int64_t from, int64_t to) const
{
    std::vector<TTrendMark> marks;
    int last = -1;
    for (int i = ring_.LowerBound(from); i < ring_.Size(); ++i) {
        const TTrendSample& s = ring_.At(i);
        if (s.time > to) break;
        const int state = s.valid ? s.state : -2; // a gap marks itself as "No reply"
        if (state != last) {
            marks.push_back({s.time, s.valid ? StateText(s.state) : LangText("No reply", "无应答")});
            last = state;
        }
    }
    return marks;
}

void TfrmTrend::RefreshPlot()
{
    if (paused_) return;
    end_ = now_();
    const int64_t from = end_ - WindowMs();
    chtTrend->Redraw(ring_, ShownChannels(), from, end_);
    chtTrend->SetMarks(stateMarks(from, end_));
    drawnPushes_ = ring_.Pushed();
    QString state;
    if (ring_.Size() > 0) {
        const TTrendSample& s = ring_.At(ring_.Size() - 1);
        state = s.valid ? StateText(s.state) : LangText("No reply", "无应答");
    }
    lblState->setText(LangText("State: ", "状态: ") + state);
}

void TfrmTrend::tmr1Timer()
{
    if (!isVisible() || paused_) return;
    // A new sample, or the window moved on by a pixel column's worth of time.
    const int64_t step = std::max<int64_t>(1000, WindowMs() / std::max(1, chtTrend->PlotColumns()));
    if (ring_.Pushed() != drawnPushes_ || now_() - end_ >= step) RefreshPlot();
}

void TfrmTrend::ShowCursorAt(int64_t time)
{
    chtTrend->SetCursorTime(time);
    const int n = ring_.Size();
    if (n == 0) return;
    int i = ring_.LowerBound(time);
    if (i >= n) i = n - 1;
    if (i > 0 && std::llabs(ring_.At(i - 1).time - time) < std::llabs(ring_.At(i).time - time)) --i;
    const TTrendSample& s = ring_.At(i);
    QStringList parts;
    parts << QDateTime::fromMSecsSinceEpoch(s.time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const auto& columns = TrendColumns();
    for (int ch : ShownChannels()) {
        const TValueColumn& c = *columns[size_t(ch)];
        const QString v =
            s.valid && !std::isnan(s.value[ch]) ? ValueText(c, s.value[ch]) : QStringLiteral("-");
        parts << QStringLiteral("%1 %2%3").arg(QString::fromLatin1(c.name), v,
                                               *c.unit ? QLatin1Char(' ') + QString::fromUtf8(c.unit)
                                                       : QString());
    }
    parts << (s.valid ? StateText(s.state) : LangText("No reply", "无应答"));
    lblCursor->setText(parts.join(QStringLiteral("   ")));
}

void TfrmTrend::cbbWindowChange()
{
    const bool was = paused_;
    paused_ = false; // a new window is drawn even while paused, at the paused moment
    const int64_t keep = end_;
    if (was) {
        const int64_t from = keep - WindowMs();
        chtTrend->Redraw(ring_, ShownChannels(), from, keep);
        chtTrend->SetMarks(stateMarks(from, keep));
    } else {
        RefreshPlot();
    }
    paused_ = was;
}

void TfrmTrend::btnPauseClick()
{
    paused_ = !paused_;
    SetCaption(btnPause, paused_ ? LangText("Resume", "继续") : LangText("Pause", "暂停"));
    if (!paused_) RefreshPlot();
}

bool TfrmTrend::ExportCsv(const QString& path)
{
    const auto& columns = TrendColumns();
    const std::vector<int> shown = ShownChannels();
    std::vector<const TValueColumn*> cols;
    for (int ch : shown) cols.push_back(columns[size_t(ch)]);
    QByteArray out(ValueLogBom, 3);
    out += ValueLogHeader(cols).toUtf8() + ValueLogEol;
    const int64_t from = end_ - WindowMs();
    for (int i = ring_.LowerBound(from); i < ring_.Size(); ++i) {
        const TTrendSample& s = ring_.At(i);
        if (s.time > end_) break;
        QStringList values;
        for (size_t k = 0; k < shown.size(); ++k) {
            const float v = s.value[shown[k]];
            values << (s.valid && !std::isnan(v) ? ValueText(*cols[k], v) : QString());
        }
        const QString state = s.valid ? StateText(s.state) : LangText("No reply", "无应答");
        out += ValueLogLine(ValueLogTime(QDateTime::fromMSecsSinceEpoch(s.time)), values, state).toUtf8() +
               ValueLogEol;
    }
    QString error;
    if (saveWhole(path, out, error)) return true;
    TMessageBoxRequest r;
    r.parent = this;
    r.icon = QMessageBox::Warning;
    r.title = windowTitle();
    r.text = LangText("Cannot write %1: %2", "无法写入 %1: %2").arg(QDir::toNativeSeparators(path), error);
    ShowMessageBox(r);
    return false;
}

bool TfrmTrend::ExportPng(const QString& path)
{
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        chtTrend->grab().save(&buffer, "PNG");
    }
    QString error;
    if (!bytes.isEmpty() && saveWhole(path, bytes, error)) return true;
    TMessageBoxRequest r;
    r.parent = this;
    r.icon = QMessageBox::Warning;
    r.title = windowTitle();
    r.text = LangText("Cannot write %1: %2", "无法写入 %1: %2").arg(QDir::toNativeSeparators(path), error);
    ShowMessageBox(r);
    return false;
}

namespace {
// The save dialog of an export; empty when cancelled.
QString askExportPath(QWidget* parent, const QString& title, const char* filter, const char* name)
{
    TFileDialogRequest r;
    r.parent = parent;
    r.save = true;
    r.title = title;
    r.filter = QLatin1String(filter);
    r.fileName = QLatin1String(name);
    return GetSaveFileName(r);
}
} // namespace

void TfrmTrend::btnExportCsvClick()
{
    const QString path = askExportPath(this, btnExportCsv->text(), "*.csv", "trend.csv");
    if (!path.isEmpty()) ExportCsv(path);
}

void TfrmTrend::btnExportPngClick()
{
    const QString path = askExportPath(this, btnExportPng->text(), "*.png", "trend.png");
    if (!path.isEmpty()) ExportPng(path);
}

void TfrmTrend::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    ApplyCaptions();
}

void TfrmTrend::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Activated after the operator switched the language in the main window.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && captionsIn_ != LangText("en", "zh"))
        ApplyCaptions();
}

void TfrmTrend::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!paused_) drawnPushes_ = ~uint64_t(0); // the columns changed: drawn again at the next tick
}
