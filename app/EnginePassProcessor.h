#pragma once
// The real receive pipeline behind the run loop's PassProcessor interface.
// Who calls it: post() from the window thread, processPass() from the loop's worker thread.
#include "app/RunLoop.h"
#include "receive/ReceiveEngine.h"

namespace dita {

class EnginePassProcessor : public PassProcessor {
public:
    void post(ReceiveCommand command) override { m_engine.post(command); }
    const PassResult& processPass(const int32_t* samples) override {
        return m_engine.processPass(samples);
    }

private:
    ReceiveEngine m_engine;
};

} // namespace dita
