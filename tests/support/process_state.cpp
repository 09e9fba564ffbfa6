#include "support/process_state.h"

#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"

namespace cvtest {

void StartFromDefaults()
{
    cv::TSettingsBuffer::Instance().UsePrivate();
    cv::TSettingsBuffer::Instance().ResetToDefaults();
    cv::TLemmatiser::Instance().ClearAll();
    cv::current_tool_var = cv::kToolWordList;
    cv::global_panic_state = cv::kPanicRun;
    cv::Global_run_without_error_messages = false;
    cv::Global_FailureMessage.clear();
}

} // namespace cvtest
