#include "sim/JtagPins.h"

namespace pyrola::sim {

void JtagPins::Reset(const JtagLines& lines) {
    lines_ = lines;
    state_ = TapState::TestLogicReset;
    tclk_ = lines.tdi;
}

JtagEdges JtagPins::Drive(const JtagLines& lines) {
    JtagEdges edges;
    edges.tmsRise = lines.tms && !lines_.tms;
    edges.tmsFall = !lines.tms && lines_.tms;
    edges.tckRise = lines.tck && !lines_.tck;
    edges.tckFall = !lines.tck && lines_.tck;
    edges.before = state_;
    lines_ = lines;
    if (edges.tckRise) {
        ++tckEdges_;
        state_ = NextTapState(state_, lines.tms);
    }
    edges.after = state_;
    if (state_ == TapState::RunTestIdle && lines.tdi != tclk_) {
        tclk_ = lines.tdi;
        edges.tclkRise = tclk_;
        edges.tclkFall = !tclk_;
        if (tclk_) {
            ++tclkCycles_;
        }
    }
    return edges;
}

} // namespace pyrola::sim
