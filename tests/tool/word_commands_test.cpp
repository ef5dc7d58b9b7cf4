// `decode` and `asm`: each reads what the other prints, bad words and lines are
// named by position, and decode prints each line of its input as it reads it.
#include "word_commands.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "number_text.hpp"
#include "tool_process.hpp"

namespace meshweave::tool {
namespace {

struct CommandRun {
  int status;
  std::string out;
  std::string err;
};

CommandRun decode_run(const std::vector<std::string>& words, const std::string& input = "") {
  std::istringstream in{input};
  std::ostringstream out;
  std::ostringstream err;
  const int status = run_decode(words, in, out, err);
  return {status, out.str(), err.str()};
}

CommandRun assemble_run(const std::string& text, const std::string& path = "-") {
  std::istringstream in{text};
  std::ostringstream out;
  std::ostringstream err;
  const int status = run_assemble(path, in, out, err);
  return {status, out.str(), err.str()};
}

// One word of every kind, the framing words, words that are no instruction,
// and random words.
std::vector<std::uint32_t> sample_words() {
  std::vector<std::uint32_t> words = {
      0x40a00086, 0x40a7ffff, 0x61800000, 0x63ffffff, 0x641c0000, 0x67ffffff, 0x782a03cb,
      0x7fffffff, 0x766fc001, 0x70100000, 0x41800000, 0x41800003, 0x4180000f, 0x19ffffff,
      0x438080a0, 0x43a00000, 0x13013040, 0x1807ffff, 0x01b8f001, 0x4fb2f000, 0x22008000,
      0x42800001, 0x427aa002, 0x41800013, 0x00000000, 0xffffffff};
  std::mt19937 random{1472};
  for (int i = 0; i < 5000; ++i) words.push_back(static_cast<std::uint32_t>(random()));
  return words;
}

std::string hex_lines(const std::vector<std::uint32_t>& words) {
  std::string text;
  for (const std::uint32_t word : words) text += hex_word(word) + '\n';
  return text;
}

TEST(WordCommands, DecodedListingAssemblesBackToItsWords) {
  const std::vector<std::uint32_t> words = sample_words();
  std::vector<std::string> arguments;
  std::string hex_file;  // as `compile --format hex` writes it, 7 words to a tile
  for (std::size_t i = 0; i < words.size(); ++i) {
    arguments.push_back(hex_word(words[i]).substr(i % 2 == 0 ? 2 : 0));
    if (i % 7 == 0) hex_file += (i == 0 ? "" : "\n") + std::to_string(i / 7) + ":";
    hex_file += ' ' + hex_word(words[i]).substr(2);
  }
  hex_file += '\n';

  const CommandRun from_arguments = decode_run(arguments);
  ASSERT_EQ(from_arguments.status, 0) << from_arguments.err;
  const CommandRun from_input = decode_run({}, hex_file);
  ASSERT_EQ(from_input.status, 0) << from_input.err;
  EXPECT_EQ(from_input.out, from_arguments.out);

  const CommandRun assembled = assemble_run(from_arguments.out);
  ASSERT_EQ(assembled.status, 0) << assembled.err;
  EXPECT_EQ(assembled.out, hex_lines(words));
}

TEST(WordCommands, CompiledProgramsGoThroughDecodeAndAsm) {
  using testing::run_tool;
  const testing::ToolRun programs =
      run_tool({"compile", testing::source_path("examples/multiphase.json"), "--format", "hex"});
  ASSERT_EQ(programs.status, 0) << programs.err;
  const testing::ToolRun decoded = run_tool({"decode"}, programs.out);
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  const testing::ToolRun assembled = run_tool({"asm", "-"}, decoded.out);
  ASSERT_EQ(assembled.status, 0) << assembled.err;

  std::string expected;
  std::istringstream lines{programs.out};
  for (std::string token; lines >> token;) {
    if (!token.ends_with(':')) expected += "0x" + token + '\n';
  }
  EXPECT_EQ(assembled.out, expected);
  EXPECT_GT(expected.size(), 50u * 11u);
}

struct DecodeFailure {
  std::vector<std::string> arguments;
  std::string input;
  std::string out;  // what was printed before the bad word
  std::string err;
};

TEST(WordCommands, DecodeNamesWhereABadWordIs) {
  const std::string long_token(1000, 'f');
  const DecodeFailure cases[] = {
      {{"41800003", "16:", "zz"},
       "",
       "",
       "meshweave decode: error: argument 3: \"zz\" is not an instruction word (expected up to "
       "8 hex digits)\n"},
      {{"0x"},
       "",
       "",
       "meshweave decode: error: argument 1: \"0x\" is not an instruction word (expected up to 8 "
       "hex digits)\n"},
      {{},
       "0: 41800003\n1: 41800003 4180000g 43a00000\n",
       "0x41800003  sync operand=3 ; row entry\n",
       "meshweave decode: error: <stdin>:2:13: \"4180000g\" is not an instruction word (expected "
       "up to 8 hex digits)\n"},
      {{},
       "41800003 16: 43a00000\n",
       "",
       "meshweave decode: error: <stdin>:1:10: \"16:\" is not an instruction word (expected up to "
       "8 hex digits)\n"},
      {{},
       "\n\t " + long_token + "\n",
       "",
       "meshweave decode: error: <stdin>:2:3: \"" + long_token.substr(0, 80) +
           "...\" is not an instruction word (expected up to 8 hex digits)\n"},
      {{},
       std::string{"\x7f"
                   "ELF\x02\x01\x1b[2J\x00\xff",
                   12},
       "",
       "meshweave decode: error: <stdin>:1:1: \"\\x7fELF\\x02\\x01\\x1b[2J\\x00\\xff\" is not an "
       "instruction word (expected up to 8 hex digits)\n"},
  };
  for (const DecodeFailure& c : cases) {
    const CommandRun run = decode_run(c.arguments, c.input);
    EXPECT_EQ(run.status, 1) << c.err;
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

// Hands out one line per read and notes what had been printed before each.
class LineByLineInput : public std::streambuf {
 public:
  LineByLineInput(std::vector<std::string> lines, const std::ostringstream& out)
      : lines_{std::move(lines)}, out_{out} {}

  const std::vector<std::string>& printed_before_each_line() const { return printed_; }

 protected:
  int_type underflow() override {
    if (next_ == lines_.size()) return traits_type::eof();
    printed_.push_back(out_.str());
    std::string& line = lines_[next_++];
    setg(line.data(), line.data(), line.data() + line.size());
    return traits_type::to_int_type(line.front());
  }

 private:
  std::vector<std::string> lines_;
  const std::ostringstream& out_;
  std::size_t next_ = 0;
  std::vector<std::string> printed_;
};

TEST(WordCommands, DecodePrintsEachLineBeforeReadingTheNext) {
  std::ostringstream out;
  std::ostringstream err;
  LineByLineInput input{{"0: 41800003 43a00000\n", "1: 40a00086\n", "2: bat\n"}, out};
  std::istream in{&input};
  EXPECT_EQ(run_decode({}, in, out, err), 1);
  const std::string first =
      "0x41800003  sync operand=3 ; row entry\n0x43a00000  br register=10 ; return\n";
  const std::string second = first + "0x40a00086  delay cycles=134 ; 135 cycles\n";
  EXPECT_EQ(input.printed_before_each_line(), (std::vector<std::string>{"", first, second}));
  EXPECT_EQ(out.str(), second);
  EXPECT_EQ(err.str(),
            "meshweave decode: error: <stdin>:3:4: \"bat\" is not an instruction word (expected up "
            "to 8 hex digits)\n");
}

TEST(WordCommands, AsmNamesFileLineAndColumnAndPrintsNothingOnFailure) {
  const struct {
    std::string text;
    std::string path;
    std::string err;
  } cases[] = {
      {"sync operand=3\n0x41800004  sync operand=3 ; row entry\n", "-",
       "meshweave asm: error: <stdin>:2:1: word 0x41800004 does not match the instruction, which "
       "assembles to 0x41800003\n"},
      {"delay_pic wait=0 flag=0 address=0x40000\n", "-",
       "meshweave asm: error: <stdin>:1:25: PIC delay operand: address 0x40000 is out of range "
       "(0x0 to 0x3ffff)\n"},
      {"delay cycles=524288\n", "-",
       "meshweave asm: error: <stdin>:1:7: delay advance overflow: cycles 524288 is out of range "
       "(0 to 524287)\n"},
      {"", "/nonexistent/program.s",
       "meshweave asm: error: /nonexistent/program.s: cannot read: No such file or directory\n"},
  };
  for (const auto& c : cases) {
    const CommandRun run = assemble_run(c.text, c.path);
    EXPECT_EQ(run.status, 1) << c.text;
    EXPECT_EQ(run.out, "") << c.text;
    EXPECT_EQ(run.err, c.err);
  }
}

}  // namespace
}  // namespace meshweave::tool
