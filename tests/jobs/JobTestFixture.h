#pragma once
// An engine wired to a scripted adapter, a recording bus and an image, for step tests.

#include "adapters/DeviceTable.h"
#include "image/MemoryImage.h"
#include "jobs/JobEngine.h"
#include "tests/support/RecordingBus.h"
#include "tests/support/ScriptedAdapter.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace pyrola::test {

class JobTest : public ::testing::Test {
protected:
    JobTest() : JobTest(256) {}
    explicit JobTest(uint32_t blockSize) : adapter(blockSize) {
        image.Clear();
        engine.SetAdapter(&adapter);
    }

    // Runs a whole list the way the worker does, without a thread.
    void RunList(uint32_t flags) {
        engine.SetFlags(flags);
        if (!event)
            event = engine.HoldCancelEvent();
        engine.Run();
    }
    // Attaches first, then forgets the calls and messages so a test sees only its step.
    void Attach() {
        RunList(kJobAttachOnly);
        adapter.isOpen = 1;
        adapter.ClearCalls();
        bus.Clear();
    }
    // The context a step runs with synchronously, on the engine's current adapter.
    StepContext& Step() {
        context.emplace(engine.Context());
        return *context;
    }
    void Fill(uint32_t first, uint32_t count, uint8_t value) {
        for (uint32_t i = 0; i < count; ++i)
            image.StoreByte(first + i, static_cast<uint8_t>(value + i));
    }
    // The adapter operations that do real work (leaves out error queries).
    std::vector<std::string> WorkOps() const {
        std::vector<std::string> out;
        for (const std::string& op : adapter.Ops())
            if (op != "GetErrorNumber" && op != "GetErrorText")
                out.push_back(op);
        return out;
    }

    RecordingBus bus;
    MemoryImage image;
    ScriptedAdapter adapter;
    JobEngine engine{&bus, &image};
    std::shared_ptr<CancelEvent> event;
    std::optional<StepContext> context;
};

} // namespace pyrola::test
