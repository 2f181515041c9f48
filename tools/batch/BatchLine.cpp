#include "BatchLine.h"

#include "platform/Text.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

struct TToken {
  std::string Text;
  bool Quoted = false;
  int Redirect = 0;  // 1 for ">", 2 for ">>"
};

// Only a ">" written in the file itself redirects; quotes group blanks into a word and vanish.
std::vector<TToken> Tokenize(std::string_view text) {
  std::vector<TToken> tokens;
  TToken current;
  bool inToken = false;
  bool quoted = false;
  const auto flush = [&] {
    if (inToken) tokens.push_back(std::move(current));
    current = TToken();
    inToken = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      quoted = !quoted;
      current.Quoted = true;
      inToken = true;
    } else if (!quoted && IsBlank(c)) {
      flush();
    } else if (!quoted && c == '>') {
      flush();
      TToken op;
      op.Redirect = 1;
      if (i + 1 < text.size() && text[i + 1] == '>') {
        op.Redirect = 2;
        ++i;
      }
      tokens.push_back(std::move(op));
    } else {
      current.Text += c;
      inToken = true;
    }
  }
  flush();
  return tokens;
}

void ParseProgram(std::string_view text, const std::vector<std::string>& params,
                  TBatchLine& result) {
  const std::vector<TToken> tokens = Tokenize(text);
  const auto fail = [&](const char* why) {
    result.Kind = TBatchLine::TKind::blError;
    result.Text = std::string(why) + std::string(text);
    result.Words.clear();
    result.Redirect = 0;
    result.Target.clear();
  };
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].Redirect != 0) {
      if (i + 1 >= tokens.size() || tokens[i + 1].Redirect != 0)
        return fail("no file name after \">\" in: ");
      result.Redirect = tokens[i].Redirect;
      result.Target = SubstituteBatchParams(tokens[++i].Text, params);
      if (result.Target.empty()) return fail("empty file name after \">\" in: ");
      continue;
    }
    std::string word = SubstituteBatchParams(tokens[i].Text, params);
    if (!word.empty() || tokens[i].Quoted) result.Words.push_back(std::move(word));
  }
  if (result.Words.empty()) {
    result.Kind = TBatchLine::TKind::blNothing;
    result.Redirect = 0;
    result.Target.clear();
    return;
  }
  result.Kind = TBatchLine::TKind::blProgram;
}

}  // namespace

std::string SubstituteBatchParams(std::string_view text, const std::vector<std::string>& params) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      const char next = text[i + 1];
      if (next >= '0' && next <= '9') {
        const std::size_t n = static_cast<std::size_t>(next - '0');
        if (n < params.size()) out += params[n];
        ++i;
        continue;
      }
      if (next == '%') {
        out += '%';
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

TBatchLine ParseBatchLine(std::string_view line, const std::vector<std::string>& params) {
  TBatchLine result;
  std::string_view text = TrimLeft(line);
  if (!text.empty() && text.front() == '@') {
    result.Quiet = true;
    text = TrimLeft(text.substr(1));
  }
  if (Trim(text).empty()) return result;
  result.Shown = SubstituteBatchParams(text, params);

  std::size_t wordEnd = 0;
  while (wordEnd < text.size() && !IsBlank(text[wordEnd])) ++wordEnd;
  const std::string command = LowerAscii(text.substr(0, wordEnd));
  if (command == "rem") {
    result.Kind = TBatchLine::TKind::blNothing;
  } else if (command == "cls") {
    result.Kind = TBatchLine::TKind::blCls;
  } else if (command == "echo") {
    // The text is printed as written: everything after the one blank that ends the word.
    const std::string_view rest = wordEnd < text.size() ? text.substr(wordEnd + 1) : "";
    const std::string word = LowerAscii(Trim(rest));
    if (word.empty()) {
      result.Kind = TBatchLine::TKind::blEchoState;
    } else if (word == "off") {
      result.Kind = TBatchLine::TKind::blEchoOff;
    } else if (word == "on") {
      result.Kind = TBatchLine::TKind::blEchoOn;
    } else {
      result.Kind = TBatchLine::TKind::blEcho;
      result.Text = SubstituteBatchParams(rest, params);
    }
  } else {
    ParseProgram(text, params, result);
  }
  return result;
}

void ForEachBatchLine(std::string_view text, const std::function<bool(std::string_view)>& visit) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!visit(line)) return;
    start = end + 1;
  }
}
