#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zv::helpgen {

// The reference of the language is written in text files, one per family
// of commands; the generator makes the help pages and the Markdown
// reference from them. A line starting with "@" and a keyword sets a field
// of the current family or entry; every other line is text of the current
// entry (or of the family's introduction), paragraphs separated by blank
// lines, a line starting with "- " an item of its own; ";" starts a comment
// line and `backquotes` mark code.
//
//   @family images             starts the family (its page is images.htm)
//   @title Images              the family's heading
//   @intro                     text until the first entry introduces it
//   @command load image        an entry for the command rows of that name
//   @function image exists     ... for the function rows ("image exists[")
//   @topic Operators           an entry named freely ...
//   @covers +[; -[; *[         ... for these raw rows of the command table
//   @syntax load image file$, image [, kind]
//                              a form the compiler accepts: parameters
//                              ending in "$" are strings, in "#" floats,
//                              others integers; "[...]" is optional and
//                              a parameter ending in "..." stands for any
//                              number of parameters of any kind
//   @form dim name(size, ...)  a form shown as written, not checked
//   @error 7001 [when]         an error the command raises, with when it
//                              does (else the runtime's message for it)
//   @see paste image; function image exists
//                              related entries
//   @example Title             an example program; its lines follow,
//   | sync on                  each after "| "
struct HelpExample {
  std::string title;
  std::string file;  // "examples/<family>_<slug>.kqa"
  std::vector<std::string> lines;
  int line = 0;
};

struct HelpError {
  int code = 0;
  std::string meaning;  // the runtime's message for the code
  std::string detail;   // when the entry says more about it
};

struct HelpEntry {
  enum class Kind { kCommand, kFunction, kTopic };
  Kind kind = Kind::kCommand;
  std::string name;                 // as written after the keyword
  std::vector<std::string> covers;  // raw row names of a topic
  std::vector<std::string> syntax;
  std::vector<std::string> forms;
  std::vector<std::string> paragraphs;
  std::vector<HelpError> errors;
  std::vector<std::string> see;  // "load image", "function image exists"
  std::vector<HelpExample> examples;
  int line = 0;

  // The row names of the command table this entry describes.
  std::vector<std::string> RowNames() const;
  // The key other entries' "see" lines use: "load image",
  // "function image exists" or "topic operators".
  std::string Key() const;
  // The entry's heading, "load image", "image exists()" or the topic's name.
  std::string Heading() const;
};

struct HelpFamily {
  std::string id;
  std::string title;
  std::string source;  // file name, for messages
  std::vector<std::string> intro;
  std::vector<HelpExample> examples;
  std::vector<HelpEntry> entries;
};

// Parses one family file; problems are reported as "file:line: text".
HelpFamily ParseHelpFamily(std::string_view text, const std::string& file_name,
                           std::vector<std::string>* problems);

// Lower-case letters and digits of `text`, other runs of characters as one "_".
std::string Slug(std::string_view text);

std::string TrimBlanks(std::string_view text);

}  // namespace zv::helpgen
