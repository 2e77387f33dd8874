#include "multipart.h"

QByteArray multipartBody(QByteArrayView boundry, QByteArrayView data)
{
    QByteArray body;
    body.reserve(data.size() + 512);
    body.append("--").append(boundry).append("\r\n");
    body.append("Content-Disposition: form-data; name=\"file\"; filename=\"test.bin\"\r\n\r\n");
    body.append(data);
    body.append("\r\n--").append(boundry).append("--\r\n");
    return body;
}

PostRequest postRequestWithURL(const QUrl &url, QByteArrayView boundry, QByteArrayView data)
{
    PostRequest post{QNetworkRequest(url), multipartBody(boundry, data)};
    post.request.setHeader(QNetworkRequest::ContentTypeHeader,
                           QByteArray("multipart/form-data; boundary=").append(boundry));
    return post;
}
