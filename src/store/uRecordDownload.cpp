#include "store/uRecordDownload.h"

#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"

void TRecordDownload::Start(int32_t from)
{
    Cabinet().RecInfo.PollHold = FlagOn;
    Cabinet().RecInfo.NextRecNo = from;
    // A reply flag or a record left from before the start (an identification reply sets the
    // same flag) is never taken for the first record.
    Cabinet().RecInfo.RecReplyRecvd = FlagOff;
    Cabinet().RecInfo.Rec = TRecordData{};
    // The first tick asks at once.
    WaitTicks = ReplyWaitTicks;
    // A new download gets its full three attempts, whatever the last one left behind.
    Attempts = 0;
}

void TRecordDownload::Stop()
{
    Cabinet().RecInfo.PollHold = FlagOff;
    if (FrmCom && FrmCom->ReqSlot[1].Pending != 0 && FrmCom->ReqSlot[1].Func == 20) FrmCom->Withdraw(1);
}

TRecordDownload::TState TRecordDownload::Tick(const std::function<void()>& requestRecord,
                                              const std::function<bool(TRecordData&)>& store)
{
    if (Cabinet().RecInfo.PollHold == 0) return TState::Idle;
    if (Cabinet().RecInfo.RecReplyRecvd != 0) return takeReply(requestRecord, store);
    WaitTicks += 1;
    if (WaitTicks > ReplyWaitTicks) {
        WaitTicks = 0;
        Attempts += 1;
        if (Attempts > MaxAttempts) {
            Attempts = 0;
            Cabinet().RecInfo.PollHold = 0;
            return TState::GaveUp;
        }
        requestRecord();
    }
    return TState::Running;
}

TRecordDownload::TState TRecordDownload::ReplyNow(const std::function<void()>& requestRecord,
                                                  const std::function<bool(TRecordData&)>& store)
{
    if (Cabinet().RecInfo.PollHold == 0) return TState::Idle;
    if (Cabinet().RecInfo.RecReplyRecvd == 0) return TState::Running;
    return takeReply(requestRecord, store);
}

TRecordDownload::TState TRecordDownload::takeReply(const std::function<void()>& requestRecord,
                                               const std::function<bool(TRecordData&)>& store)
{
    Cabinet().RecInfo.RecReplyRecvd = 0;
    if (Cabinet().RecInfo.Rec.RecNo == Cabinet().RecInfo.NextRecNo) {
        // A record the database refused is asked for again after the reply wait.
        if (!store(Cabinet().RecInfo.Rec)) return TState::Running;
        Cabinet().RecInfo.NextRecNo += 1;
        // Only a stored record gives the next one its attempts afresh.
        Attempts = 0;
    } else {
        // Another record number (a repeated reply, a stuck log pointer) or an identification
        // reply: asked for again at once, and that costs an attempt, so that a cabinet which
        // keeps answering the wrong thing cannot hold the download.
        Attempts += 1;
        if (Attempts > MaxAttempts) {
            Attempts = 0;
            Cabinet().RecInfo.PollHold = 0;
            return TState::GaveUp;
        }
    }
    if (Cabinet().RecInfo.AllRec < Cabinet().RecInfo.NextRecNo) {
        Cabinet().RecInfo.PollHold = 0;
        return TState::Finished;
    }
    requestRecord();
    WaitTicks = 0;
    return TState::Running;
}
