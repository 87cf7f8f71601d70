// Installing a built library on a machine: files, voice token and class registration.
#include "support/TestMachine.h"
#include "VoiceTestSupport.h"
#include "platform/registry/Registry.h"
#include "platform/system/CodePage.h"
#include "tools/voicegen/Install.h"

#include <gtest/gtest.h>

using namespace voicetest;

TEST(VoiceInstall, TokenNamesTheCopiedFilesAndTheEngineIsRegistered) {
    testing_support::TestMachine machine;
    buildVoice("kind tone\nunits U+4E00\nphrase 一二\nsentence 你好 hi.wav\n", "C:\\Build");
    voicegen::InstallOptions options;
    options.library = machine->hostPath("C:\\Build");
    options.engine = "/opt/build/libvoxling.so";
    std::string error;
    ASSERT_TRUE(voicegen::installVoice(*machine, options, error)) << error;

    using namespace win;
    const std::string token = voicegen::kTokenKey;
    EXPECT_EQ(reg::getString(HKEY_LOCAL_MACHINE, token, ""), voicegen::kVoiceName);
    EXPECT_EQ(reg::getString(HKEY_LOCAL_MACHINE, token, "CLSID"), "{7F5297E5-0462-4730-86A9-076A57C05C17}");
    EXPECT_EQ(reg::getString(HKEY_LOCAL_MACHINE, token + "\\Attributes", "Language"), "804");
    EXPECT_EQ(reg::getString(HKEY_LOCAL_MACHINE, token + "\\Attributes", "Gender"), "Female");
    const std::string clsidKey = "CLSID\\{7F5297E5-0462-4730-86A9-076A57C05C17}";
    EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, clsidKey + "\\InprocServer32", ""), "/opt/build/libvoxling.so");
    EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, clsidKey + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, "Voxling.VoxlingObj\\CLSID", ""), "{7F5297E5-0462-4730-86A9-076A57C05C17}");
    EXPECT_EQ(reg::getString(HKEY_CLASSES_ROOT, "Voxling.VoxlingUI.1\\CLSID", ""), "{BA729B8B-A6B3-4DBC-9A0C-31F2763F5D2D}");

    // The engine binds from what the token says.
    voxling::VoiceLibrary lib;
    auto value = [&](const char* name) { return sys::toUtf16(reg::getString(HKEY_LOCAL_MACHINE, token, name).value_or("")); };
    ASSERT_EQ(lib.openVoiceDef(value("VoiceDef")), 0u);
    ASSERT_EQ(lib.openVoiceData(value("VoiceData")), 0u);
    ASSERT_EQ(lib.openVoiceWord(value("VoiceWord")), 0u);
    ASSERT_EQ(lib.openVoiceWordData(value("VoiceWordData")), 0u);
    lib.LoadSentenceTable(value("VoiceSenData"));
    lib.copyUnitTable();
    EXPECT_TRUE(lib.voiceDefValid() && lib.voiceWordValid());
    EXPECT_FALSE(lib.unitAudio(1000).empty());
    EXPECT_EQ(lib.phrases.LookupPhrase(u"一二"), 2);
    ASSERT_EQ(lib.sentences.size(), 1u);
    EXPECT_EQ(lib.sentences.entry(0).path, sys::toUtf16(std::string(voicegen::kDefaultVoiceFolder) + "\\hi.wav"));
    EXPECT_TRUE(machine->fileExists(std::string(voicegen::kDefaultVoiceFolder) + "\\hi.wav"));
}

TEST(VoiceInstall, RefusesWhatIsNotALibrary) {
    testing_support::TestMachine machine;
    voicegen::InstallOptions options;
    options.library = machine->hostPath("C:\\Nothing");
    std::string error;
    EXPECT_FALSE(voicegen::installVoice(*machine, options, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(reg::keyExists(win::HKEY_LOCAL_MACHINE, voicegen::kTokenKey));
    buildVoice("kind silent\n", "C:\\Build");
    options.library = machine->hostPath("C:\\Build");
    options.voiceFolder = "Voice";
    EXPECT_FALSE(voicegen::installVoice(*machine, options, error));
}
