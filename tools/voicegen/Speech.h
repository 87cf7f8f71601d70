#pragma once
// Speech for voice units from eSpeak NG. The synthesiser is set up once; each text is spoken in
// a child forked from that state, so every text comes out the same whatever was spoken before.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace voicegen {

struct SpeechItem {
    std::string voice;  // eSpeak NG voice name, "cmn-latn-pinyin" or "en"
    std::string text;   // UTF-8
};

class Speaker {
public:
    Speaker() = default;
    Speaker(const Speaker&) = delete;
    Speaker& operator=(const Speaker&) = delete;

    // Loads the synthesiser with its default voice; false (with a reason) when it cannot.
    bool start(const std::string& voice, std::string& error);
    // Speaks every item, up to `jobs` at a time; returns 16 kHz samples per item (empty for an
    // item that gave nothing). `done`, when given, hears the count of items finished so far.
    std::vector<std::vector<int16_t>> speak(const std::vector<SpeechItem>& items, int jobs,
                                            const std::function<void(size_t done)>& done = {});

private:
    bool started_ = false;
    std::string voice_;
    int rate_ = 0;
};

} // namespace voicegen
