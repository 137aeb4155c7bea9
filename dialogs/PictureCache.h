#pragma once
// Pictures that take long to draw, kept between runs in the user's cache
// folder (${XDG_CACHE_HOME:-~/.cache}/vexlo): one file per picture, holding
// the key it was drawn for (everything its look depends on) and its pixels.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace vexlo::dialogs {

class PictureCache {
public:
    // The cache below `folder`; the user's cache folder when empty.
    explicit PictureCache(QString folder = {});

    // The picture `name` as stored for `key`, `pixelSize` pixels large; a null
    // image when there is none, it was drawn for another key or size, or the
    // file is unreadable, cut short or damaged (its checksum).
    QImage load(const QString& name, const QByteArray& key, QSize pixelSize) const;
    // Keeps `picture` as `name` for `key`: written beside the old file and
    // renamed over it, so a reader sees the old file or the new one, never a
    // part of one. False when the folder or the file cannot be written.
    bool store(const QString& name, const QByteArray& key, const QImage& picture) const;

    QString path(const QString& name) const;

private:
    QString m_folder;
};

} // namespace vexlo::dialogs
