#include "multipart.h"

QByteArray multipartHead(QByteArrayView boundry)
{
    return "--" + boundry.toByteArray() +
           "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"test.bin\"\r\n\r\n";
}

QByteArray multipartTail(QByteArrayView boundry)
{
    return "\r\n--" + boundry.toByteArray() + "--\r\n";
}

PostRequest postRequestWithURL(const QUrl &url, QByteArrayView boundry, QIODevice *data)
{
    PostRequest post{
        QNetworkRequest(url),
        std::make_unique<MultipartDevice>(multipartHead(boundry), data, multipartTail(boundry))};
    post.request.setHeader(QNetworkRequest::ContentTypeHeader,
                           QByteArray("multipart/form-data; boundary=").append(boundry));
    return post;
}
