#pragma once
// A connection for tests: it records every send state it is given.

#include "crashreport/send/web/http_connection.h"

#include <utility>
#include <vector>

namespace cvtest {

class RecordingConnection : public cv::THTTPConnectionBase {
public:
    using State = std::pair<cv::TSendState, int32_t>;
    RecordingConnection(const std::string& url, const std::string& proxy, std::vector<State>* states = nullptr)
        : THTTPConnectionBase(url, proxy), m_states(states)
    {
    }
    void SetSendState(cv::TSendState state, int32_t value) override
    {
        if (m_states)
            m_states->emplace_back(state, value);
    }
    // Stands in for the answer of a request: the page the form adders read.
    void SetLastAnswer(const std::string& html, const std::string& page = {})
    {
        FResponse->HTML = html;
        FResponse->ReplayPage = page;
    }
    // The connection class making these, all recording into states.
    static cv::THTTPConnectionClass Class(std::vector<State>* states = nullptr)
    {
        return [states](const std::string& url, const std::string& proxy) {
            return cv::CreateHTTPConnection<RecordingConnection>(url, proxy, states);
        };
    }

private:
    std::vector<State>* m_states;
};

// A connection URL in the form the sender builds: folder, then credentials and port.
inline std::string ConnectionURL(const std::string& scheme, const std::string& host, const std::string& folder, int port,
                                 const std::string& user = {}, const std::string& password = {})
{
    std::string url = scheme + "://" + host + "/" + folder;
    cv::AddURLPortAndCredentials(url, user, password, uint16_t(port));
    return url;
}

} // namespace cvtest
