#pragma once

class Http;

// Told the outcome of an upload, exactly once per Http: success when the server
// answered with a body and a good status, failure otherwise.
class HttpProtocol
{
public:
    virtual void onHttpDone(Http *http) = 0;
    virtual void onHttpError(Http *http) = 0;

protected:
    ~HttpProtocol() = default;
};
