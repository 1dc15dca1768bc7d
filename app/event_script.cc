#include "app/event_script.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "platform/text/code_page.h"

namespace zv {
namespace {

using platform::WindowEvent;
using platform::WindowEventKind;
namespace key = platform::key;

constexpr uint32_t kStepMs = 20;
// As long as a finger holds a key: a program that looks at the keyboard
// once a frame sees it down.
constexpr uint32_t kKeyHeldMs = 100;
constexpr uint32_t kButtonHeldMs = 10;
// A quick typist's pace: a key every 20 ms, each held for 10.
constexpr uint32_t kTypedKeyMs = 20;
constexpr uint32_t kTypedKeyHeldMs = 10;

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

int KeyNumber(const std::string& name) {
  const std::string n = Lower(name);
  if (n.size() == 1 && ((n[0] >= 'a' && n[0] <= 'z') || (n[0] >= '0' && n[0] <= '9')))
    return n[0] >= 'a' ? n[0] - 'a' + 'A' : n[0];
  if (n.size() >= 2 && n[0] == 'f') {
    const int f = std::atoi(n.c_str() + 1);
    if (f >= 1 && f <= 12) return key::kF1 + f - 1;
  }
  static const std::pair<const char*, int> kNamed[] = {
      {"enter", key::kEnter}, {"escape", key::kEscape}, {"tab", key::kTab},     {"backspace", key::kBackspace},
      {"delete", key::kDelete}, {"space", key::kSpace}, {"left", key::kLeft},   {"right", key::kRight},
      {"up", key::kUp},         {"down", key::kDown},   {"home", 36},           {"end", 35},
      {"pageup", 33},           {"pagedown", 34}};
  for (const auto& [text, number] : kNamed)
    if (n == text) return number;
  return 0;
}

// The character a key types with these modifiers, 0 for none. As on a
// keyboard, Control keeps letters, digits and the space from typing.
int32_t CharacterOfKey(int key_number, int modifiers) {
  if (int32_t c = platform::ControlCharacterOfKey(key_number)) return c;
  if (modifiers & platform::modifier::kControl) return 0;
  if (key_number == key::kSpace || (key_number >= '0' && key_number <= '9')) return key_number;
  if (key_number >= 'A' && key_number <= 'Z')
    return (modifiers & platform::modifier::kShift) ? key_number : key_number - 'A' + 'a';
  return 0;
}

// The key pressed and released, with its modifiers pressed around it.
void PressKey(platform::HeadlessWindow& window, int key_number, int modifiers, uint32_t at) {
  const bool control = modifiers & platform::modifier::kControl;
  const bool shift = modifiers & platform::modifier::kShift;
  if (control) window.Post({WindowEventKind::kKeyDown, key::kControl}, at);
  if (shift) window.Post({WindowEventKind::kKeyDown, key::kShift}, at);
  window.Post({WindowEventKind::kKeyDown, key_number}, at);
  if (const int32_t c = CharacterOfKey(key_number, modifiers)) window.Post({WindowEventKind::kCharacter, c}, at);
  window.Post({WindowEventKind::kKeyUp, key_number}, at + kKeyHeldMs);
  if (shift) window.Post({WindowEventKind::kKeyUp, key::kShift}, at + kKeyHeldMs + 1);
  if (control) window.Post({WindowEventKind::kKeyUp, key::kControl}, at + kKeyHeldMs + 1);
}

// The key that types a character, 0 for one typed without a key of its own.
int KeyOfCharacter(uint8_t c) {
  switch (c) {
    case '\r': return key::kEnter;
    case '\t': return key::kTab;
    case '\b': return key::kBackspace;
    case ' ': return key::kSpace;
  }
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) return c;
  if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
  return 0;
}

// Types the program's characters one key at a time, as a person does;
// returns the time after the last key.
uint32_t TypeText(platform::HeadlessWindow& window, std::string_view text, uint32_t at) {
  for (const char ch : text) {
    const auto c = static_cast<uint8_t>(ch);
    const int k = KeyOfCharacter(c);
    if (k != 0) window.Post({WindowEventKind::kKeyDown, k}, at);
    window.Post({WindowEventKind::kCharacter, c}, at);
    if (k != 0) window.Post({WindowEventKind::kKeyUp, k}, at + kTypedKeyHeldMs);
    at += kTypedKeyMs;
  }
  return at;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out += next == 'n' ? '\r' : next == 't' ? '\t' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

bool PlayEventScript(std::string_view script, platform::HeadlessWindow& window, std::string* error) {
  uint32_t at = 0;
  std::istringstream lines{std::string(script)};
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string command;
    if (!(words >> command) || command[0] == '#') continue;
    auto fail = [&] {
      if (error) *error = "line " + std::to_string(number) + ": " + line;
      return false;
    };
    command = Lower(command);
    int32_t x = 0, y = 0;
    if (command == "wait") {
      long ms = -1;
      if (!(words >> ms) || ms < 0) return fail();
      at += static_cast<uint32_t>(ms);
      continue;
    }
    if (command == "key") {
      std::string name;
      if (!(words >> name)) return fail();
      int modifiers = 0;
      for (;;) {
        const std::string lower = Lower(name);
        if (lower.rfind("ctrl+", 0) == 0) {
          modifiers |= platform::modifier::kControl;
          name = name.substr(5);
        } else if (lower.rfind("shift+", 0) == 0) {
          modifiers |= platform::modifier::kShift;
          name = name.substr(6);
        } else {
          break;
        }
      }
      const int number_of_key = KeyNumber(name);
      if (number_of_key == 0) {
        if (error) *error = "line " + std::to_string(number) + ": unknown key \"" + name + "\" in: " + line;
        return false;
      }
      PressKey(window, number_of_key, modifiers, at);
      at += kKeyHeldMs;  // the next command comes once the key is let go
    } else if (command == "type") {
      size_t start = line.find_first_not_of(" \t") + 4;
      if (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
      const std::string_view text = start < line.size() ? std::string_view(line).substr(start) : std::string_view();
      at = TypeText(window, platform::TypedCp1252(Unescape(text)), at);
    } else if (command == "move" || command == "click" || command == "down" || command == "up") {
      if (!(words >> x >> y)) return fail();
      window.Post({WindowEventKind::kMouseMove, x, y, x, y}, at);
      if (command == "click") window.Click(platform::mouse_button::kLeft, x, y, at, kButtonHeldMs);
      if (command == "down") window.Post({WindowEventKind::kMouseDown, platform::mouse_button::kLeft, 0, x, y}, at);
      if (command == "up") window.Post({WindowEventKind::kMouseUp, platform::mouse_button::kLeft, 0, x, y}, at);
    } else if (command == "wheel") {
      if (!(words >> x)) return fail();
      window.Post({WindowEventKind::kMouseWheel, x}, at);
    } else if (command == "close") {
      window.Post({WindowEventKind::kClose}, at);
    } else {
      return fail();
    }
    at += kStepMs;
  }
  return true;
}

bool LoadEventScript(const std::string& path, platform::HeadlessWindow& window, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return PlayEventScript(text, window, error);
}

}  // namespace zv
