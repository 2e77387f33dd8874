#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

// Stands in for the desktop's default handler of web links and files while
// it lives, so that no test opens a real browser or editor. It records what it
// was asked to open.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    UrlRecorder()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
    }
    ~UrlRecorder() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

    QList<QUrl> opened;

    QList<QUrl> openedLinks() const
    {
        QList<QUrl> links;
        for (const QUrl &url : opened) {
            if (!url.isLocalFile())
                links.append(url);
        }
        return links;
    }

public slots:
    void open(const QUrl &url) { opened.append(url); }
};
