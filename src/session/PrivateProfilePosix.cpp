#include "PrivateProfile.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

namespace {

struct Line {
  QByteArray text;    // without its line ending
  QByteArray ending;  // "\r\n", "\n" or empty for a last line without one
};

QList<Line> SplitLines(const QByteArray& text) {
  QList<Line> lines;
  qsizetype start = 0;
  while (start < text.size()) {
    qsizetype end = text.indexOf('\n', start);
    if (end < 0) {
      lines.append({text.mid(start), {}});
      break;
    }
    qsizetype contentEnd = (end > start && text[end - 1] == '\r') ? end - 1 : end;
    lines.append({text.mid(start, contentEnd - start), text.mid(contentEnd, end + 1 - contentEnd)});
    start = end + 1;
  }
  return lines;
}

bool SameName(const QByteArray& a, const QByteArray& b) {
  return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// The name of a section header line "[name]", or nothing for other lines.
std::optional<QByteArray> SectionName(const QByteArray& line) {
  QByteArray t = line.trimmed();
  if (!t.startsWith('[')) return std::nullopt;
  qsizetype close = t.indexOf(']');
  if (close < 0) return std::nullopt;
  return t.mid(1, close - 1);
}

// The key of a "key=value" line, or nothing for comments, blanks and headers.
std::optional<QByteArray> KeyName(const QByteArray& line) {
  QByteArray t = line.trimmed();
  if (t.isEmpty() || t.startsWith(';') || t.startsWith('[')) return std::nullopt;
  qsizetype eq = t.indexOf('=');
  if (eq < 0) return std::nullopt;
  return t.left(eq).trimmed();
}

QByteArray ValueOf(const QByteArray& line) {
  QByteArray v = line.mid(line.indexOf('=') + 1).trimmed();
  if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
    v = v.mid(1, v.size() - 2);
  return v;
}

struct Position {
  qsizetype header = -1;     // index of the section's header line
  qsizetype lastEntry = -1;  // last non-blank line of the section
  qsizetype key = -1;        // the key's line
};

Position Find(const QList<Line>& lines, const QByteArray& section, const QByteArray& key) {
  Position pos;
  bool inside = false;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (auto name = SectionName(lines[i].text)) {
      if (pos.header >= 0 && inside) break;
      inside = SameName(*name, section);
      if (inside) pos.header = pos.lastEntry = i;
      continue;
    }
    if (!inside) continue;
    if (!lines[i].text.trimmed().isEmpty()) pos.lastEntry = i;
    auto name = KeyName(lines[i].text);
    if (name && SameName(*name, key)) {
      pos.key = i;
      break;
    }
  }
  return pos;
}

std::optional<QByteArray> Lookup(const QByteArray& text, const QByteArray& section, const QByteArray& key) {
  QList<Line> lines = SplitLines(text);
  Position pos = Find(lines, section, key);
  if (pos.key < 0) return std::nullopt;
  return ValueOf(lines[pos.key].text);
}

QByteArray WithValue(const QByteArray& text, const QByteArray& section, const QByteArray& key,
                     const QByteArray& value) {
  QList<Line> lines = SplitLines(text);
  QByteArray eol = text.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
  QByteArray entry = key + '=' + value;
  Position pos = Find(lines, section, key);
  if (pos.key >= 0) {
    lines[pos.key].text = entry;
  } else if (pos.header >= 0) {
    Line& before = lines[pos.lastEntry];
    if (before.ending.isEmpty()) before.ending = eol;
    lines.insert(pos.lastEntry + 1, {entry, eol});
  } else {
    if (!lines.isEmpty() && lines.back().ending.isEmpty()) lines.back().ending = eol;
    lines.append({'[' + section + ']', eol});
    lines.append({entry, eol});
  }
  QByteArray out;
  for (const Line& line : lines) out += line.text + line.ending;
  return out;
}

}  // namespace

std::optional<QByteArray> PrivateProfile::ReadString(const QString& path, const QByteArray& section,
                                                     const QByteArray& key) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  auto value = Lookup(file.readAll(), section, key);
  if (value && value->isEmpty()) return std::nullopt;
  return value;
}

bool PrivateProfile::WriteString(const QString& path, const QByteArray& section, const QByteArray& key,
                                 const QByteArray& value) {
  QByteArray text;
  QFile existing(path);
  if (existing.exists()) {
    if (!existing.open(QIODevice::ReadOnly)) return false;
    text = existing.readAll();
    existing.close();
  }
  QSaveFile file(path);
  // A folder that takes no new files still lets a writable file be rewritten.
  file.setDirectWriteFallback(true);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(WithValue(text, section, key, value));
  return file.commit();
}
