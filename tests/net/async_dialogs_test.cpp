#include "net/async_requests.h"

#include "library/data_structures.h"
#include "library/ds_map.h"
#include "platform/dialogs.h"
#include "platform/fake/fake_platform.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

namespace {

// The keys and values of a map in sorted key order: "key=value ...".
std::string MapText(int index) {
    std::vector<std::string> pairs;
    for (const char* key : {"id", "status", "result", "value", "username", "password"}) {
        ScriptValue k{};
        k.kind = KIND_STRING;
        k.str = const_cast<char*>(key);
        const MapEntry* entry = DS_State().DS_Maps.Get(index)->Find(&k);
        if (!entry) continue;
        pairs.push_back(std::string(key) + "=" +
                        (entry->value.kind == KIND_STRING ? std::string(entry->value.str)
                                                          : std::to_string(static_cast<int>(entry->value.real))));
    }
    std::string text;
    for (const std::string& p : pairs)
        text += (text.empty() ? "" : " ") + p;
    return text;
}

class AsyncDialogs : public ::testing::Test {
protected:
    CFakePlatform fake;
    void SetUp() override {
        fake.hasDisplay = true;
        Platform_SetBackend(&fake);
    }
    void TearDown() override {
        if (fake.openForm) fake.openForm->Press(fake.openForm->EscapeButton());
        HTTP_PollThreads();
        HTTP_Shutdown();
        Platform_SetUnattended(false);
        Platform_SetBackend(nullptr);
        DS_FreeAll();
    }
    // Runs the per-step poll and completes every finished request as the asynchronous stage does:
    // the event maps in completion order, each with its event number.
    std::vector<std::string> Step() {
        HTTP_PollThreads();
        std::vector<std::string> maps;
        std::vector<HTTP_REQ_CONTEXT*> done;
        for (HTTP_REQ_CONTEXT* r = HTTP_State().HTTP_RequestList; r; r = r->next)
            if (r->state == HTTP_STATE_DONE) done.insert(done.begin(), r);
        for (HTTP_REQ_CONTEXT* request : done) {
            HTTP_REQ_CONTEXT** link = &HTTP_State().HTTP_RequestList;
            while (*link != request)
                link = &(*link)->next;
            *link = request->next;
            int32_t map = -1;
            const int32_t event = request->completion(request, request->user, &map);
            maps.push_back(std::to_string(event) + ": " + MapText(map));
            DS_Map_Destroy(map);
            delete request;
        }
        return maps;
    }
};

} // namespace

TEST_F(AsyncDialogs, QueueShowOneAtATimeAndCompleteWithTheirAnswers) {
    const int message = DialogAsync_ShowMessage("Cap", "Hello");
    const int query = DialogAsync_GetString("Cap", "Name?", "Bo");
    const int login = DialogAsync_GetLogin("me", "pw");
    const int question = DialogAsync_ShowQuestion("Cap", "Sure?");
    ASSERT_NE(fake.openForm, nullptr);
    EXPECT_EQ(fake.openForm->Kind(), DialogKind::Message);
    EXPECT_TRUE(Step().empty());

    fake.openForm->Key(VK_RETURN);
    EXPECT_EQ(Step(), (std::vector<std::string>{"63: id=" + std::to_string(message) + " status=1"}));
    ASSERT_NE(fake.openForm, nullptr); // the next one opened
    EXPECT_EQ(fake.openForm->Kind(), DialogKind::InputQuery);
    fake.openForm->Backspace();
    fake.openForm->Backspace();
    fake.openForm->Type("42.5");
    fake.openForm->Key(VK_RETURN);
    EXPECT_EQ(Step(), (std::vector<std::string>{"63: id=" + std::to_string(query) + " status=1 result=42.5 value=42"}));

    ASSERT_EQ(fake.openForm->Kind(), DialogKind::Login);
    fake.openForm->Key(VK_RETURN);
    EXPECT_EQ(Step(), (std::vector<std::string>{"63: id=" + std::to_string(login) +
                                                " status=3 username=me password=pw"}));
    fake.openForm->Press(kDialogButtonNo);
    EXPECT_EQ(Step(), (std::vector<std::string>{"63: id=" + std::to_string(question) +
                                                " status=0 result= value=0"}));
    EXPECT_EQ(fake.openForm, nullptr);
    EXPECT_EQ(HTTP_State().HTTP_RequestList, nullptr);
}

TEST_F(AsyncDialogs, WithoutSomeoneToAskTheyCompleteAtOnceWithTheDefaults) {
    Platform_SetUnattended(true);
    testing::internal::CaptureStdout();
    const int query = DialogAsync_GetString("Cap", "Name?", "Ann");
    const int login = DialogAsync_GetLogin("", "pw");
    const int question = DialogAsync_ShowQuestion("Cap", "Sure?");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(Step(), (std::vector<std::string>{
                          "63: id=" + std::to_string(query) + " status=1 result=Ann value=0",
                          "63: id=" + std::to_string(login) + " status=0 username= password=",
                          "63: id=" + std::to_string(question) + " status=1 result=1 value=1",
                      }));
}
