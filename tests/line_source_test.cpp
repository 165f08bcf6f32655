// The line source on files written for each case: the lines it hands out,
// byte for byte, and the status that ends them. Each row names the fault it
// would catch.
#include "files/line_source.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tool_runner.h"

using namespace std::string_literals;

namespace {

const char* status_name(LineStatus status) {
  switch (status) {
    case LineStatus::line:
      return "line";
    case LineStatus::end:
      return "end";
    case LineStatus::too_long:
      return "too_long";
    case LineStatus::read_error:
      return "read_error";
  }
  return "?";
}

struct Lines {
  std::vector<std::string> lines;  // each with its LF when it has one
  std::string last;                // the status that ended them
};

// The buffers are large: one set for all cases, as the reader keeps them.
LineSource source;
Line line;

// Every line `file` gives, checking the layout of each: after its `length`
// characters the LF when it has one, then NUL.
Lines read_lines(std::FILE* file) {
  start_lines(source, file);
  Lines result;
  for (int guard = 0; guard < 10000; ++guard) {
    const LineStatus status = next_line(source, line);
    if (status != LineStatus::line) {
      result.last = status_name(status);
      return result;
    }
    const std::string text(line.text.data(), line.length + (line.text[line.length] == '\n' ? 1 : 0));
    EXPECT_EQ(line.text[text.size()], '\0') << text;
    result.lines.push_back(text);
  }
  ADD_FAILURE() << "no end after 10000 lines";
  return result;
}

Lines read_content(const std::string& content) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), std::fclose);
  if (!file) {
    ADD_FAILURE() << "no temporary file";
    return {};
  }
  std::fwrite(content.data(), 1, content.size(), file.get());
  std::rewind(file.get());
  return read_lines(file.get());
}

struct Case {
  const char* fault;  // what a failure of this row would mean
  std::string content;
  std::vector<std::string> lines;
  const char* last;
};

const std::string X1023(1023, 'x');
const std::string X1024(1024, 'x');

// Distinct lines of 100 characters (line number first), enough to fill
// more than one block, so any piece lost or doubled at a boundary shows.
std::vector<std::string> numbered_lines(std::size_t bytes) {
  std::vector<std::string> lines;
  for (std::size_t total = 0; total < bytes; total += 101) {
    std::string text = std::to_string(lines.size());
    lines.push_back(text + std::string(100 - text.size(), '.') + "\n");
  }
  return lines;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& one : lines) text += one;
  return text;
}

// Filler lines of 100 characters and a last one so that `total` bytes come
// before whatever is appended next.
std::string filler(std::size_t total) {
  std::string text;
  while (total - text.size() > 1000) text += std::string(100, 'f') + "\n";
  return text + std::string(total - text.size() - 1, 'g') + "\n";
}
std::vector<std::string> filler_lines(std::size_t total) {
  std::vector<std::string> lines;
  const std::string text = filler(total);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t lf = text.find('\n', at);
    lines.push_back(text.substr(at, lf + 1 - at));
    at = lf + 1;
  }
  return lines;
}

std::vector<std::string> plus(std::vector<std::string> lines, const std::vector<std::string>& more) {
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

TEST(LineSource, Table) {
  const std::vector<std::string> spanning = numbered_lines(2 * LINE_BLOCK_SIZE + 500);
  const std::size_t block = LINE_BLOCK_SIZE;
  const Case cases[] = {
      {"LF lines split wrongly", "ab\ncd\n", {"ab\n", "cd\n"}, "end"},
      {"CR of CR LF kept", "ab\r\ncd\r\n", {"ab\n", "cd\n"}, "end"},
      {"CR inside a line kept by the whole-line copy", "a\rb\r\r\n", {"ab\n"}, "end"},
      {"lone CR taken as a line end", "a\rb\n", {"ab\n"}, "end"},
      {"blank lines skipped (the reader must see them)", "\n\r\nab\n", {"\n", "\n", "ab\n"}, "end"},
      {"NUL ends the copy early", "a\0b\n"s, {"a\0b\n"s}, "end"},
      {"Ctrl-Z mid-line kept, or reading goes on", "ab\x1a"s + "cd\nef\n", {"ab"}, "end"},
      {"Ctrl-Z at a line start gives an empty line", "ab\n\x1a"s + "cd\n", {"ab\n"}, "end"},
      {"Ctrl-Z as the first byte gives a line", "\x1a"s + "ab\n", {}, "end"},
      {"Ctrl-Z after a CR gives the CR", "ab\r\x1a\n", {"ab"}, "end"},
      {"last line without LF lost", "ab\ncd", {"ab\n", "cd"}, "end"},
      {"empty file gives a line", "", {}, "end"},
      {"1023 characters refused", X1023 + "\n", {X1023 + "\n"}, "end"},
      {"CRs counted towards the limit", X1023 + "\r\r\n", {X1023 + "\n"}, "end"},
      {"1023 characters without LF refused", X1023, {X1023}, "end"},
      {"1023 characters then Ctrl-Z refused", X1023 + "\x1a", {X1023}, "end"},
      {"1024 characters accepted", "ab\n" + X1024 + "\n", {"ab\n"}, "too_long"},
      {"1024 characters without LF accepted", X1024, {}, "too_long"},
      {"1024 characters with a CR inside accepted", X1023 + "\rx\n", {}, "too_long"},
      // Whole blocks: 16 KB each.
      {"line across a block boundary cut or doubled", joined(spanning), spanning, "end"},
      {"CR as a block's last byte kept", filler(block - 3) + "ab\r\ncd\n",
       plus(filler_lines(block - 3), {"ab\n", "cd\n"}), "end"},
      {"LF as a block's last byte gives an empty line", filler(block - 3) + "ab\ncd\n",
       plus(filler_lines(block - 3), {"ab\n", "cd\n"}), "end"},
      {"Ctrl-Z as a block's first byte missed", filler(block) + "\x1a" + "ab\n", filler_lines(block), "end"},
      {"line length restarting at a block boundary", filler(block - 600) + std::string(1100, 'y') + "\n",
       filler_lines(block - 600), "too_long"},
      {"end of file at a block boundary gives an empty line", filler(block), filler_lines(block), "end"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    const Lines got = read_content(c.content);
    EXPECT_EQ(got.lines, c.lines);
    EXPECT_EQ(got.last, c.last);
  }
}

// A source that met a Ctrl-Z must read the next file from its start.
TEST(LineSource, StartForgetsTheLastFile) {
  EXPECT_EQ(read_content("ab\x1a"s + "cd\n").lines, std::vector<std::string>{"ab"});
  EXPECT_EQ(read_content("ef\n").lines, std::vector<std::string>{"ef\n"});
}

// A read that fails must not pass for the end of the file. On Linux a
// directory opens for reading and every read of it fails.
TEST(LineSource, ReadErrorIsNotTheEnd) {
  const ScratchDir dir;
  std::FILE* file = std::fopen(dir.path().c_str(), "rb");
  if (file == nullptr) GTEST_SKIP() << "a directory does not open as a file here";
  const Lines got = read_lines(file);
  std::fclose(file);
  EXPECT_EQ(got.lines, std::vector<std::string>{});
  EXPECT_EQ(got.last, "read_error");
}

}  // namespace
