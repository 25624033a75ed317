// The Steam state taken from the command line and the general information, and the achievement cache
// kept in the save area across runs.
#include "ext/services.h"

#include "data/general_info.h"
#include "ext/external_call.h"
#include "support/game_folders.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

TEST(Steam, UsedByTheSwitchOrTheGeneralInformationWithItsApplicationId) {
    const GeneralInfo saved = GeneralInfo_State().g_GeneralInfo;
    GeneralInfo_State().g_GeneralInfo.steamAppId = 480;
    for (int version : {12, 13}) {
        GeneralInfo_State().g_GeneralInfo.version = version;
        for (bool flag : {false, true}) {
            GeneralInfo_State().g_GeneralInfo.steam = flag;
            for (bool steamSwitch : {false, true}) {
                Steam_Init(steamSwitch);
                EXPECT_EQ(Steam_IsUsed(), flag || steamSwitch);
                EXPECT_EQ(ExternalCall_State().ExternalCall_Allowed, !(flag || steamSwitch));
                EXPECT_EQ(Steam_AppId(), version >= 13 ? 480u : 0u);
            }
        }
    }
    GeneralInfo_State().g_GeneralInfo = saved;
    Steam_Init(false);
    EXPECT_TRUE(ExternalCall_State().ExternalCall_Allowed);
}

TEST(AchievementCache, KeptInTheSaveAreaAcrossRuns) {
    GameFolders folders;
    double value = 0;
    EXPECT_FALSE(Services_CachedAchievement("first_win", &value));
    Services_CacheAchievement("first_win", 50);
    Services_CacheAchievement("first_win", 100);
    Services_CacheAchievement("collector", 12.5);
    Services_Shutdown();
    std::ifstream file(folders.Save("achievements.ini"));
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find("first_win=100"), std::string::npos) << text.str();

    // The next run reads it back; a run that changes nothing writes nothing.
    EXPECT_TRUE(Services_CachedAchievement("first_win", &value));
    EXPECT_EQ(value, 100);
    EXPECT_TRUE(Services_CachedAchievement("collector", &value));
    EXPECT_EQ(value, 12.5);
    EXPECT_FALSE(Services_CachedAchievement("", &value));
    std::remove(folders.Save("achievements.ini").c_str());
    Services_Shutdown();
    EXPECT_FALSE(std::ifstream(folders.Save("achievements.ini")).good());
    Services_Reset();
}
