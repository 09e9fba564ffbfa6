#include "suite/cv_globals.h"

namespace cv {

std::atomic<uint8_t> global_panic_state{kPanicRun};
bool Global_run_without_error_messages = false;
QString Global_FailureMessage;
bool Global_batch_mode = false;
bool Global_Busy_Dont_Show_Data = false;
std::atomic<bool> Global_progress_tick{false};
bool Global_DeadKeyListLoaded = false;
bool Global_KeyboardLayoutActivated = false;

} // namespace cv
