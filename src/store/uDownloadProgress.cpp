#include "store/uDownloadProgress.h"

#include "model/uDataFunc.h"

#include <algorithm>
#include <cmath>

void TDownloadProgress::Start(int32_t first, int32_t last, int64_t nowMs)
{
    started_ = true;
    stopped_ = false;
    first_ = first;
    last_ = last;
    done_ = 0;
    startMs_ = nowMs;
    lastMs_ = nowMs;
}

void TDownloadProgress::Stored(int64_t nowMs)
{
    ++done_;
    lastMs_ = nowMs;
}

int32_t TDownloadProgress::Total() const
{
    const int64_t span = static_cast<int64_t>(last_) - first_ + 1;
    return static_cast<int32_t>(std::max<int64_t>(std::max<int64_t>(span, 0), done_));
}

int TDownloadProgress::Percent() const
{
    const int32_t total = Total();
    if (total <= 0) return 0;
    return static_cast<int>(static_cast<int64_t>(done_) * 100 / total);
}

double TDownloadProgress::Rate() const
{
    const int64_t elapsed = lastMs_ - startMs_;
    if (done_ <= 0 || elapsed <= 0) return 0.0;
    return done_ * 1000.0 / static_cast<double>(elapsed);
}

int64_t TDownloadProgress::SecondsLeft() const
{
    const double rate = Rate();
    if (rate <= 0.0) return -1;
    return static_cast<int64_t>(std::ceil((Total() - done_) / rate));
}

QString TDownloadProgress::Text() const
{
    if (stopped_)
        return LangText("Stopped: %1 of %2 records stored", "已停止: 已存储 %1/%2 条记录").arg(done_).arg(Total());
    const int64_t left = SecondsLeft();
    const QString leftText =
        left < 0 ? QStringLiteral("-")
                 : QStringLiteral("%1:%2").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
    return LangText("%1 of %2 records, %3 rec/s, %4 left", "%1/%2 条记录, %3 条/秒, 剩余 %4")
        .arg(done_)
        .arg(Total())
        .arg(Rate(), 0, 'f', 1)
        .arg(leftText);
}
