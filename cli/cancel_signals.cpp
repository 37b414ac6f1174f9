#include "cli/cancel_signals.h"

#include <csignal>

#include "cli/exit_codes.h"

namespace vantorra {
namespace {

CancelFlag* cancelTarget = nullptr;
volatile std::sig_atomic_t receivedSignal = 0;

// Async-signal-safe: a lock-free atomic store and a sig_atomic_t write, nothing else.
extern "C" void requestCancel(int signalNumber) {
    receivedSignal = signalNumber;
    if (cancelTarget != nullptr) cancelTarget->request();
}

}  // namespace

void installCancelSignals(CancelFlag& flag) {
    cancelTarget = &flag;
    receivedSignal = 0;
    struct sigaction action = {};
    action.sa_handler = requestCancel;
    sigemptyset(&action.sa_mask);
    // The first signal cancels; the handler then reverts to the default, so a second one kills.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int cancelSignal() { return receivedSignal; }

int cancelledExitStatus() { return cancelSignal() == SIGTERM ? ExitTerminated : ExitInterrupted; }

}  // namespace vantorra
