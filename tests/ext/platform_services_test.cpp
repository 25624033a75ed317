#include "ext/platform_services.h"
#include "support/owned_text.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::vector<std::string>> g_launches;
std::vector<std::string> g_files;

bool RecordLaunch(const char* file, char* const argv[]) {
    g_files.emplace_back(file);
    std::vector<std::string> args;
    for (int i = 0; argv[i] != nullptr; ++i)
        args.emplace_back(argv[i]);
    g_launches.push_back(args);
    return true;
}

// Sets or unsets environment variables for one test and puts them back afterwards.
class EnvironmentTest : public testing::Test {
protected:
    void Set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved.push_back({name, old != nullptr, old != nullptr ? old : ""});
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            if (it->present) {
                setenv(it->name.c_str(), it->value.c_str(), 1);
            } else {
                unsetenv(it->name.c_str());
            }
        }
        Platform_SetLauncher(nullptr);
        g_launches.clear();
        g_files.clear();
    }
    struct Saved {
        std::string name;
        bool present;
        std::string value;
    };
    std::vector<Saved> saved;
};

} // namespace

TEST(PlatformOSVersion, WindowsShapedAndConfigurable) {
    EXPECT_EQ(Platform_GetOSVersion(), 393217);
    const ReportedOSVersion saved = PlatformServices_State().Platform_ReportedOSVersion;
    PlatformServices_State().Platform_ReportedOSVersion = {10, 0};
    EXPECT_EQ(Platform_GetOSVersion(), 655360);
    PlatformServices_State().Platform_ReportedOSVersion = {-1, 0};
    EXPECT_EQ(Platform_GetOSVersion(), -1);
    PlatformServices_State().Platform_ReportedOSVersion = {6, 70000};
    EXPECT_EQ(Platform_GetOSVersion(), -1);
    PlatformServices_State().Platform_ReportedOSVersion = saved;
}

using PlatformOpenURL = EnvironmentTest;

TEST_F(PlatformOpenURL, HandsTheUrlToTheOpenerAsOneArgumentWithoutAShell) {
    Set("SDL_VIDEODRIVER", nullptr);
    Set("DISPLAY", ":0");
    Platform_SetLauncher(RecordLaunch);
    const char* url = "http://example.com/a b?x=1;rm -rf ~ && echo `id` $(id) | cat > f '\"";
    EXPECT_EQ(Platform_OpenURL(url), 0);
    ASSERT_EQ(g_launches.size(), 1u);
    EXPECT_EQ(g_files[0], "xdg-open");
    EXPECT_EQ(g_launches[0], (std::vector<std::string>{"xdg-open", url}));
}

TEST_F(PlatformOpenURL, OpensNothingWhenHeadless) {
    Platform_SetLauncher(RecordLaunch);
    Set("DISPLAY", ":0");
    Set("SDL_VIDEODRIVER", "offscreen");
    EXPECT_EQ(Platform_OpenURL("http://example.com"), 0);
    Set("SDL_VIDEODRIVER", nullptr);
    Set("DISPLAY", nullptr);
    Set("WAYLAND_DISPLAY", nullptr);
    EXPECT_EQ(Platform_OpenURL("http://example.com"), 0);
    EXPECT_TRUE(g_launches.empty());
}

using PlatformLocale = EnvironmentTest;

TEST_F(PlatformLocale, LanguageAndRegionComeFromTheUserLocale) {
    Set("LC_ALL", nullptr);
    Set("LC_MESSAGES", "");
    Set("LANG", "de_AT.UTF-8");
    EXPECT_EQ(Take(Platform_GetLanguage()), "de");
    EXPECT_EQ(Take(Platform_GetRegion()), "AT");
    Set("LC_ALL", "sr_RS@latin");
    EXPECT_EQ(Take(Platform_GetLanguage()), "sr");
    EXPECT_EQ(Take(Platform_GetRegion()), "RS");
    Set("LC_ALL", "C");
    EXPECT_EQ(Take(Platform_GetLanguage()), "--");
    EXPECT_EQ(Take(Platform_GetRegion()), "");
    Set("LC_ALL", "fil_PH");
    EXPECT_EQ(Take(Platform_GetLanguage()), "--");
    Set("LC_ALL", nullptr);
    Set("LANG", nullptr);
    EXPECT_EQ(Take(Platform_GetLanguage()), "--");
}
