#include "pack/login_digest.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace fw {

std::string LoginDigest(std::string_view gbk_bytes) {
  const QByteArray bytes(gbk_bytes.data(), static_cast<qsizetype>(gbk_bytes.size()));
  return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toStdString();
}

}  // namespace fw
