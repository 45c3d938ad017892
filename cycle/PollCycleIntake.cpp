// The inbox steps of the poll cycle with the local store: every listed message is kept on
// disk in one commit, then deleted from the modem.
#include "PollCycle.h"

#include "ReplyShape.h"

namespace zorvel {

// With the store: every slot read (text mode), everything kept in one commit, then the
// deletes, then the end.
void PollCycle::continueIntake()
{
    // A list still streaming in when its window closed spills into the next windows:
    // a few plain "AT" until one comes back alone, else no read this cycle.
    constexpr int settleTriesAtMost = 5;
    if (!intakeReads_.empty() && intake_->needsSettling()) {
        if (intakeSettleTries_++ < settleTriesAtMost)
            return run(Step::IntakeSettle);
        intakeReads_.clear();
    }
    if (!intakeReads_.empty())
        return run(Step::IntakeRead);
    if (!intakeCommitted_) {
        intakeCommitted_ = true;
        const std::vector<std::string> deletes = intake_->commit();
        intakeDeletes_.assign(deletes.begin(), deletes.end());
    }
    if (!intakeDeletes_.empty())
        return run(Step::IntakeDelete);
    intake_->finishCycle();
    step_ = Step::Idle;
    if (pace_.held)
        startIfDue();
}

void PollCycle::intakeSettleArrived(const std::string& answer)
{
    intake_->settleAnswered(answer, exchange_.replySettled());
    continueIntake();
}

void PollCycle::intakeReadArrived(const std::string& answer)
{
    if (intake_->slotRead(intakeReads_.front(), answer, exchange_.replySettled()))
        intakeReads_.pop_front();
    else
        intakeReads_.clear(); // the rest waits for the next cycle
    continueIntake();
}

void PollCycle::intakeDeleteArrived(const std::string& answer)
{
    intake_->deleteAnswered(intakeDeletes_.front(), EndsWithOk(ReplyLines(answer)), answer);
    intakeDeletes_.pop_front();
    continueIntake();
}

} // namespace zorvel
