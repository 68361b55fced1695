#include "platform/xscreensaver/programs_list.h"

#include <cstddef>
#include <regex>
#include <vector>

namespace moonwisp {
namespace {

// A physical line with the newline that ends it (none on a last line without one).
struct Line {
  std::string body;
  std::string end;
};

std::vector<Line> splitLines(const std::string& text) {
  std::vector<Line> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t newline = text.find('\n', at);
    if (newline == std::string::npos) {
      lines.push_back({text.substr(at), ""});
      break;
    }
    lines.push_back({text.substr(at, newline - at), "\n"});
    at = newline + 1;
  }
  return lines;
}

std::string joinLines(const std::vector<Line>& lines) {
  std::string text;
  for (const Line& line : lines) text += line.body + line.end;
  return text;
}

bool continues(const Line& line) { return !line.body.empty() && line.body.back() == '\\'; }

bool blank(const std::string& text) { return text.find_first_not_of(" \t\r") == std::string::npos; }

// One entry of the list: its text and the physical lines it touches.
struct Entry {
  std::string text;
  size_t firstLine = 0;
  size_t lastLine = 0;
};

// Where the list lies in a file, and its entries.
struct ProgramsList {
  size_t first = 0;  // the "programs:" line
  size_t last = 0;   // the line that ends the resource (no backslash)
  std::vector<Entry> entries;  // blank ones left out, as XScreenSaver leaves them out
  bool ended = true;           // the last entry is followed by its \n
};

// A resource line of ~/.xscreensaver or of the app-defaults file ("*programs:").
const std::regex& programsResource() {
  static const std::regex kPrograms(R"(^[ \t]*(\*|xscreensaver[.*])?programs[ \t]*:)");
  return kPrograms;
}
const std::regex& selectedResource() {
  static const std::regex kSelected(R"(^([ \t]*(?:\*|xscreensaver[.*])?selected[ \t]*:[ \t]*)(-?[0-9]{1,9})(.*)$)");
  return kSelected;
}

// Finds the list; false with *reason when the file holds one that cannot be read.
bool findList(const std::vector<Line>& lines, std::optional<ProgramsList>* found, std::string* reason) {
  found->reset();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].body.find('\0') != std::string::npos) {
      *reason = "it is not a text file";
      return false;
    }
    std::smatch match;
    const bool isList = std::regex_search(lines[i].body, match, programsResource());
    if (isList && *found) {
      *reason = "it holds two lists of programs";
      return false;
    }
    if (!isList) {
      // Another resource's value may run on over several lines.
      while (continues(lines[i]) && i + 1 < lines.size()) ++i;
      continue;
    }
    ProgramsList list;
    list.first = i;
    std::string joined;             // the resource's value, backslash-newlines taken out
    std::vector<size_t> lineOf;     // the physical line of each character of joined
    size_t line = i;
    std::string body = lines[i].body.substr(match.length());
    while (true) {
      const bool more = continues(lines[line]);
      if (more) body.pop_back();
      joined += body;
      lineOf.insert(lineOf.end(), body.size(), line);
      if (!more) break;
      if (++line == lines.size()) {
        *reason = "its list of programs runs on to the end of the file";
        return false;
      }
      body = lines[line].body;
    }
    list.last = line;
    const size_t lastText = joined.find_last_not_of(" \t\r");
    list.ended = lastText == std::string::npos || (lastText >= 1 && joined.compare(lastText - 1, 2, "\\n") == 0);
    // Entries are separated by the two characters \n.
    size_t start = 0;
    while (start <= joined.size()) {
      size_t stop = joined.find("\\n", start);
      if (stop == std::string::npos) stop = joined.size();
      const std::string text = joined.substr(start, stop - start);
      if (!blank(text)) {
        const size_t from = start + text.find_first_not_of(" \t\r");
        const size_t to = start + text.find_last_not_of(" \t\r");
        list.entries.push_back({text, lineOf[from], lineOf[to]});
      }
      start = stop + 2;
    }
    *found = list;
    i = line;
  }
  return true;
}

// Whether an entry runs program: "[-] [visual:] command ...", the command's
// first word naming it with or without a folder.
bool runs(const Entry& entry, const std::string& program, bool* disabled) {
  static const std::regex kEntry(R"(^[ \t]*(-?)[ \t]*(?:[A-Za-z][A-Za-z0-9-]*[ \t]*:)?[ \t]*([^ \t\r]+))");
  std::smatch match;
  if (!std::regex_search(entry.text, match, kEntry)) return false;
  const std::string command = match[2].str();
  const size_t slash = command.find_last_of('/');
  if ((slash == std::string::npos ? command : command.substr(slash + 1)) != program) return false;
  *disabled = match[1].length() > 0;
  return true;
}

// The index of the first entry running program, or -1.
int findEntry(const ProgramsList& list, const std::string& program, bool* disabled) {
  for (size_t i = 0; i < list.entries.size(); ++i)
    if (runs(list.entries[i], program, disabled)) return static_cast<int>(i);
  return -1;
}

ProgramsEdit unparsable(const std::string& reason) {
  ProgramsEdit edit;
  edit.outcome = ProgramsEdit::Outcome::Unparsable;
  edit.reason = reason;
  return edit;
}

ProgramsEdit changed(std::string text) {
  ProgramsEdit edit;
  edit.outcome = ProgramsEdit::Outcome::Changed;
  edit.text = std::move(text);
  return edit;
}

}  // namespace

std::optional<std::string> userProgramsFromAppDefaults(const std::string& appDefaults) {
  const std::vector<Line> lines = splitLines(appDefaults);
  std::optional<ProgramsList> list;
  std::string reason;
  if (!findList(lines, &list, &reason) || !list) return std::nullopt;
  std::vector<Line> resource(lines.begin() + static_cast<std::ptrdiff_t>(list->first),
                             lines.begin() + static_cast<std::ptrdiff_t>(list->last) + 1);
  Line& name = resource.front();
  name.body = "programs:" + name.body.substr(name.body.find(':') + 1);
  for (Line& line : resource) line.end = "\n";
  // XScreenSaver writes every entry with its backslash and ends the list with an empty line.
  if (!blank(resource.back().body)) {
    resource.back().body += "\\";
    resource.push_back({"", "\n"});
  }
  return joinLines(resource);
}

ProgramsEdit addProgram(const std::string& text, const std::string& defaultList, const std::string& program,
                        const std::string& entry) {
  std::vector<Line> lines = splitLines(text);
  std::optional<ProgramsList> list;
  std::string reason;
  if (!findList(lines, &list, &reason)) return unparsable(reason);
  if (!list && defaultList.empty()) {
    ProgramsEdit edit;
    edit.outcome = ProgramsEdit::Outcome::NoList;
    return edit;
  }
  if (!list) {
    // Without a list of its own the user has XScreenSaver's: write that one out.
    std::string withList = text;
    if (!withList.empty() && withList.back() != '\n') withList += '\n';
    if (!withList.empty()) withList += '\n';
    withList += defaultList;
    lines = splitLines(withList);
    if (!findList(lines, &list, &reason) || !list) return unparsable("XScreenSaver's own list cannot be read");
  }
  bool disabled = false;
  if (findEntry(*list, program, &disabled) >= 0) {
    ProgramsEdit edit;
    edit.outcome = ProgramsEdit::Outcome::AlreadyThere;
    edit.disabled = disabled;
    return edit;
  }
  // The new entry must not run on from the last one.
  const std::string entryText = (list->ended ? "" : "\\n") + entry + "\\n";
  Line& last = lines[list->last];
  if (blank(last.body)) {
    // XScreenSaver's own way: every entry continues, an empty line ends the list.
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(list->last), Line{entryText + "\\", "\n"});
  } else {
    last.body += "\\";
    last.end = "\n";
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(list->last) + 1, Line{entryText, "\n"});
  }
  return changed(joinLines(lines));
}

ProgramsEdit removeProgram(const std::string& text, const std::string& program) {
  std::vector<Line> lines = splitLines(text);
  bool removed = false;
  while (true) {
    std::optional<ProgramsList> list;
    std::string reason;
    if (!findList(lines, &list, &reason)) return unparsable(reason);
    bool disabled = false;
    const int index = list ? findEntry(*list, program, &disabled) : -1;
    if (index < 0) break;
    const Entry& entry = list->entries[static_cast<size_t>(index)];
    const size_t line = entry.firstLine;
    const bool ownLine = line == entry.lastLine && line > list->first &&
                         (index == 0 || list->entries[static_cast<size_t>(index) - 1].lastLine < line) &&
                         (static_cast<size_t>(index) + 1 == list->entries.size() ||
                          list->entries[static_cast<size_t>(index) + 1].firstLine > line);
    if (!ownLine) return unparsable("the entry of " + program + " shares its line with something else");
    if (line == list->last) {
      // The line before it ends the list now.
      Line& previous = lines[line - 1];
      previous.body.pop_back();
    }
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(line));
    removed = true;
    // "selected:" counts entries: the ones after it move up by one.
    for (Line& candidate : lines) {
      std::smatch match;
      if (!std::regex_match(candidate.body, match, selectedResource())) continue;
      const long selected = std::stol(match[2].str());
      if (selected < index) continue;
      const long now = selected == index ? -1 : selected - 1;
      candidate.body = match[1].str() + std::to_string(now) + match[3].str();
    }
  }
  if (!removed) {
    ProgramsEdit edit;
    edit.outcome = ProgramsEdit::Outcome::NotThere;
    return edit;
  }
  return changed(joinLines(lines));
}

}  // namespace moonwisp
