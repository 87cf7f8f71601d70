#pragma once
// Voice tokens: registry keys under HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\Speech\Voices\Tokens",
// each with the engine's "CLSID", the voice's name as default value, an "Attributes" sub-key
// (Name, Gender, Language, ...) and string values the engine reads (its data files). A token's
// id is its full key path ("HKEY_LOCAL_MACHINE\SOFTWARE\...\Tokens\<name>").
#include "platform/speech/SpeechApi.h"

#include <string>
#include <utility>
#include <vector>

namespace sys { class Machine; }

namespace speech {

// The token for an id; SPERR_NOT_FOUND when its key does not exist.
win::HRESULT openToken(sys::Machine& machine, const std::string& tokenId, win::ISpObjectToken** token);
com::ComPtr<win::ISpObjectToken> openToken(sys::Machine& machine, const std::string& tokenId);

// Ids of the installed voices, in registry order.
std::vector<std::string> voiceTokenIds(sys::Machine& machine);
// The user's default voice: HKEY_CURRENT_USER "SOFTWARE\Microsoft\Speech\Voices" "DefaultTokenId"
// when that token exists, else the first installed voice, else "".
std::string defaultVoiceTokenId(sys::Machine& machine);
// The token's id, "" for a null token.
std::string tokenId(win::ISpObjectToken* token);

// What an installer writes for a voice.
struct VoiceTokenSpec {
    std::string name;         // key name under Tokens
    std::string displayName;  // the default value
    win::GUID clsid{};        // the engine's class
    std::vector<std::pair<std::string, std::string>> attributes;  // under "Attributes"
    std::vector<std::pair<std::string, std::string>> values;      // string values of the token
};
// Writes the token; returns its id.
std::string registerVoiceToken(sys::Machine& machine, const VoiceTokenSpec& spec);

} // namespace speech
