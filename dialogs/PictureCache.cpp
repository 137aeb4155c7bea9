#include "PictureCache.h"

#include "platform/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <cstdio>
#include <cstring>

namespace vexlo::dialogs {

namespace {

// A file: this header, the key's bytes, then the rows of premultiplied ARGB
// pixels one after the other, in this machine's byte order.
struct Header {
    char magic[8];
    quint32 keySize;
    quint32 width;
    quint32 height;
    quint32 bytesPerLine;
    quint64 checksum; // of the key and the pixels
};
constexpr char kMagic[8] = {'V', 'X', 'L', 'P', 'I', 'C', '0', '1'};
constexpr QImage::Format kFormat = QImage::Format_ARGB32_Premultiplied;

// 64-bit FNV-1a over 8-byte words: finds a damaged or cut file, fast enough
// for a picture at start-up.
quint64 checksum(const QByteArray& key, const uchar* pixels, qsizetype size)
{
    constexpr quint64 prime = 0x100000001b3ULL;
    quint64 h = 0xcbf29ce484222325ULL;
    for (const char c : key)
        h = (h ^ uchar(c)) * prime;
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, pixels + i, 8);
        h = (h ^ word) * prime;
        h ^= h >> 29;
    }
    for (; i < size; ++i)
        h = (h ^ pixels[i]) * prime;
    return h;
}

} // namespace

PictureCache::PictureCache(QString folder) : m_folder(std::move(folder))
{
    if (m_folder.isEmpty())
        m_folder = QString::fromStdString(platform::cacheHome()) + QStringLiteral("/vexlo");
}

QString PictureCache::path(const QString& name) const
{
    return m_folder + QLatin1Char('/') + name + QStringLiteral(".pic");
}

QImage PictureCache::load(const QString& name, const QByteArray& key, QSize pixelSize) const
{
    QFile file(path(name));
    if (pixelSize.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    Header header;
    if (file.read(reinterpret_cast<char*>(&header), sizeof header) != qint64(sizeof header)
        || std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 || header.keySize != quint32(key.size())
        || header.width != quint32(pixelSize.width()) || header.height != quint32(pixelSize.height())
        || header.bytesPerLine != header.width * 4)
        return {};
    const qint64 pixelBytes = qint64(header.bytesPerLine) * header.height;
    if (file.size() != qint64(sizeof header) + header.keySize + pixelBytes || file.read(header.keySize) != key)
        return {};
    // The header matched the expected size: no damaged header can ask for a
    // huge picture.
    QImage picture(pixelSize, kFormat);
    if (picture.isNull() || picture.bytesPerLine() != qsizetype(header.bytesPerLine)
        || file.read(reinterpret_cast<char*>(picture.bits()), pixelBytes) != pixelBytes
        || checksum(key, picture.constBits(), pixelBytes) != header.checksum)
        return {};
    return picture;
}

bool PictureCache::store(const QString& name, const QByteArray& key, const QImage& picture) const
{
    const QImage pixels = picture.convertToFormat(kFormat);
    if (pixels.isNull() || pixels.bytesPerLine() != qsizetype(pixels.width()) * 4 || !QDir().mkpath(m_folder))
        return false;
    Header header;
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.keySize = quint32(key.size());
    header.width = quint32(pixels.width());
    header.height = quint32(pixels.height());
    header.bytesPerLine = quint32(pixels.bytesPerLine());
    header.checksum = checksum(key, pixels.constBits(), pixels.sizeInBytes());
    QTemporaryFile file(path(name) + QStringLiteral(".XXXXXX"));
    if (!file.open() || file.write(reinterpret_cast<const char*>(&header), sizeof header) != qint64(sizeof header)
        || file.write(key) != key.size()
        || file.write(reinterpret_cast<const char*>(pixels.constBits()), pixels.sizeInBytes()) != pixels.sizeInBytes()
        || !file.flush())
        return false;
    // rename(2) replaces the old file in one step (QFile::rename would not
    // replace it). A file cut short by a crash fails its checksum.
    if (std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path(name)).constData()) != 0)
        return false;
    file.setAutoRemove(false);
    return true;
}

} // namespace vexlo::dialogs
