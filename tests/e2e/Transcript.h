#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

// The virtual reader's transcript: one burst of bytes a line, with the
// monotonic time it was seen and its direction.
struct Burst {
  double seconds;
  bool sent;  // sent by the reader ("tx"); otherwise received from trellum
  QByteArray bytes;
};

std::vector<Burst> ReadTranscript(const QString& path);

// The bytes as upper-case hexadecimal pairs separated by spaces.
QString HexOf(const QByteArray& bytes);
// The reverse of HexOf.
QByteArray BytesOfHex(const QString& hex);
