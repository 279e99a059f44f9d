// The serialization form against a real shell: its requests 9 and 10 start the serial
// jobs on the worker, whose answer 11 comes back through the main loop, where the shell
// refreshes the form's "In memory" and the view redraws it.
#include "../app/ShellFixture.h"

#include "app/QueuedMessageBus.h"
#include "jobs/JobFlags.h"
#include "serialno/SerializationForm.h"

#include <chrono>
#include <cstring>

namespace pyrola::test {
namespace {

using namespace std::chrono_literals;

class SerializationShell : public ShellFixture {
protected:
    void SetUp() override {
        StartOn(queued);
        queued.SetReceiver([this](uint32_t code, uintptr_t value) { shell->HandleBusMessage(code, value); });
        form = std::make_unique<SerializationForm>(SystemProfileFile(), shell->Engine().Serial(), queued,
                                                   [this] { return shell->IsJobRunning(); });
        shell->SetSerializationOpen(true);
        shell->SetSerializationForm(form.get());
        form->Opened();
    }
    void TearDown() override {
        shell->SetSerializationForm(nullptr);
        queued.Shutdown();
        shell.reset();
    }
    // The main loop until the job is over.
    void RunMainLoop() {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (shell->IsJobRunning() && std::chrono::steady_clock::now() < deadline)
            queued.Pump(20);
        while (queued.Pump(0) > 0) {
        }
        ASSERT_FALSE(shell->IsJobRunning());
    }
    std::string Memory(uint32_t address, size_t count) const {
        return std::string(raw.memory.begin() + address, raw.memory.begin() + address + count);
    }

    QueuedMessageBus queued;
    std::unique_ptr<SerializationForm> form;
};

} // namespace

TEST_F(SerializationShell, WriteThenReadBackThroughTheShell) {
    form->NumberEdited("SN-0042");
    ASSERT_TRUE(form->WriteClicked());
    RunMainLoop();
    EXPECT_EQ(Memory(0x1000, 8), std::string("SN-0042\0", 8));
    EXPECT_EQ(view.serializationRefreshes, 1);
    EXPECT_EQ(form->InMemoryText(), "SN-0042");
    EXPECT_TRUE(view.Logged("Write serial number complete."));

    // What the device holds now, not what the form would compose.
    raw.memory[0x1004] = '9';
    form->IncClicked();
    ASSERT_TRUE(form->ReadClicked());
    RunMainLoop();
    EXPECT_EQ(view.serializationRefreshes, 2);
    EXPECT_EQ(form->InMemoryText(), "SN-0942");
    EXPECT_EQ(form->CurrentText(), "SN-0043");

    // A read that fails leaves "???".
    raw.FailCall("ReadMemory", raw.CountOf("ReadMemory") + 1);
    ASSERT_TRUE(form->ReadClicked());
    RunMainLoop();
    EXPECT_EQ(form->InMemoryText(), "???");

    // OK: request 2 refreshes the command states, with the Serialization command back.
    shell->SetSerializationOpen(false);
    form->Closed();
    queued.Pump(0);
    EXPECT_TRUE(view.states.IsEnabled(kCmdSerialization));
}

TEST_F(SerializationShell, NoRequestWhileAJobRuns) {
    raw.BlockIn("Erase");
    shell->StartJob(kJobErase);
    // The worker's reports wait for the main loop on their way to the Erase.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (raw.CountOf("Erase") == 0 && std::chrono::steady_clock::now() < deadline)
        queued.Pump(5);
    raw.WaitUntilBlocked();
    EXPECT_FALSE(form->JobButtonsEnabled());
    shell->Engine().Serial().bytes = {1, 2, 3};
    EXPECT_FALSE(form->WriteClicked());
    EXPECT_EQ(shell->Engine().Serial().bytes, (std::vector<uint8_t>{1, 2, 3}));
    raw.Release();
    RunMainLoop();
    EXPECT_EQ(raw.CountOf("WriteMemory"), 0u);
    EXPECT_TRUE(form->JobButtonsEnabled());
}

TEST_F(SerializationShell, AnAddressOutsideFlashIsRefusedWithoutAnAnswer) {
    form->AddressEdited("0x0200");
    ASSERT_TRUE(form->WriteClicked());
    RunMainLoop();
    EXPECT_TRUE(view.Logged("Error. Address 0x0200 not in flash memory space"));
    EXPECT_EQ(view.serializationRefreshes, 0);
    EXPECT_EQ(form->InMemoryText(), "???");
}

} // namespace pyrola::test
