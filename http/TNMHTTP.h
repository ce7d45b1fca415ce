#pragma once
// HTTP/1.0 client: one request per connection, body into memory or straight into a file.
#include "http/HttpTypes.h"
#include "http/TPowersock.h"

class TExStringList;

class TNMHTTP : public TPowersock {
public:
    explicit TNMHTTP(QObject* owner = nullptr);
    ~TNMHTTP() override;

    QByteArray Body = "Default.htm";
    QByteArray Header = "Head.txt";
    THeaderInfo* HeaderInfo;
    bool InputFileMode = false;
    bool OutputFileMode = false;
    // With InputFileMode: the request creates the body file as a new file (it fails with
    // "Cannot create file" when anything lies at that path, a dangling link included); the
    // passes after a redirect empty the file it made.
    bool BodyFileMustBeNew = false;
    // The last request made its body file (with BodyFileMustBeNew): only then is the file there
    // its own to delete.
    bool BodyFileMade() const { return FBodyFileMade; }
    // With InputFileMode: runs when a pass is about to write the body file, with the response's
    // header block read, so the caller may mark the file before any byte of the body lands.
    std::function<void(const QString& path)> OnBodyFile;

    std::function<void(TPowersock* sender)> OnAboutToSend;
    std::function<void(CmdType cmd)> OnSuccess;
    std::function<void(CmdType cmd)> OnFailure;
    std::function<void(bool& handled)> OnRedirect;
    std::function<void(TPowersock* sender)> OnAuthenticationNeeded;

    void Abort() override;

    virtual void Get(const QByteArray& url);
    virtual void Head(const QByteArray& url);
    virtual void Options(const QByteArray& url);
    virtual void Delete(const QByteArray& url);
    virtual void Post(const QByteArray& url, const QByteArray& data);
    virtual void Put(const QByteArray& url, const QByteArray& data);
    virtual void Patch(const QByteArray& url, const QByteArray& data);
    virtual void Trace(const QByteArray& url, const QByteArray& data);
    virtual void Copy(const QByteArray& url, const QByteArray& target);
    virtual void Move(const QByteArray& url, const QByteArray& target);
    virtual void Link(const QByteArray& url, const QByteArray& value);
    virtual void Unlink(const QByteArray& url, const QByteArray& value);

    // The thirteenth request operation: like Put, but the header block has no request line.
    virtual void Raw(const QByteArray& url, const QByteArray& data);

    // State of the current request, readable between requests.
    QByteArray Url;             // address of the current pass; a Location line replaces it
    QByteArray RequestPath;     // path of the direct request line, at most 256 characters
    TExStringList* HeaderList;  // the request lines being built
    QByteArray ReceivedCookie;  // last Set-Cookie value of the current response
    bool DecodePostData = true;
    QByteArray PostData;   // request body, or the name of the file holding it
    QByteArray TargetUri;  // value of the "URI-header: " or "Link: " line
    CmdType CommandKind = cmdGet;

protected:
    virtual void ExecuteRequest();
    virtual void ParseUrl();
    virtual void BuildHeaders();
    virtual void ReadHeaders();
    virtual void SendRequest();

private:
    void StartRequest(CmdType kind, const QByteArray& url, const QByteArray& data, const QByteArray& target);
    void ReceiveBody(bool head);
    void ReportOutcome();

    bool FBodyFileMade = false;    // this request has created the body file
    bool FStatusLineGood = false;  // the current pass's status line is well-formed
    // Sends bytes whole, in pieces that the socket layer's buffer send takes.
    void SendBytes(const QByteArray& bytes);
    // The connection of this pass is encrypted (through a proxy it is not).
    bool SpeaksTls() const { return UseTls && Proxy.isEmpty(); }
    bool CookieInScope() const;

    // Where the cookie taken over at the last redirect came from.
    QByteArray ScopedCookie;
    QByteArray CookieHost;
    bool CookieSecure = false;
};
