#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QNetworkRequest>
#include <QUrl>

#include <memory>

#include "multipartdevice.h"

// The boundary of every upload whose data does not hold it; one that does is
// sent with another (see BoundaryScan), or the server would end the part at
// the first boundary line in it.
inline constexpr char uploadBoundary[] = "0xKhTmLbOuNdArY";

// What comes before and after the data in the multipart form whose single file
// field "file", named "test.bin", the data is: 87 and 23 bytes for the upload
// boundary.
QByteArray multipartHead(QByteArrayView boundry);
QByteArray multipartTail(QByteArrayView boundry);

// A POST request: the headers, and the body that goes with them.
struct PostRequest
{
    QNetworkRequest request;
    std::unique_ptr<MultipartDevice> body;
};

// The upload request, its body read from data as it is sent. Content-Type names
// the boundary; no other header of our own, so the server sees what it has
// always seen.
PostRequest postRequestWithURL(const QUrl &url, QByteArrayView boundry, QIODevice *data);
