#pragma once
// A stand-in for the suite's controller window in tests: it records what
// the tool posts to it, and hands back the codes of the commands.

#include <QCoreApplication>

#include <cstdint>
#include <utility>
#include <vector>

#include "suite/controller_codes.h"
#include "suite/window_messages.h"

namespace cvtest {

class TRecordingController {
public:
    cv::TWindowHandle Handle() const { return m_window.Handle(); }

    // The codes of the commands posted since the last call (after letting
    // posted messages arrive).
    std::vector<int> Posted()
    {
        QCoreApplication::processEvents();
        std::vector<int> codes;
        for (const auto& [msg, wparam] : got)
            if (msg == cv::kMsgControllerCommand)
                codes.push_back(cv::CodeOfWParam(wparam));
        got.clear();
        return codes;
    }

    // Every message posted, in order: message and WParam.
    std::vector<std::pair<uint32_t, uint64_t>> got;
    // The parameter messages (1026) posted, in order: code and parameter.
    std::vector<std::pair<int, int64_t>> params;

private:
    cv::TMessageWindow m_window{[this](uint32_t m, uint64_t w, int64_t l) {
        got.emplace_back(m, w);
        if (m == cv::kMsgControllerParam)
            params.emplace_back(cv::CodeOfWParam(w), l);
    }};
};

} // namespace cvtest
