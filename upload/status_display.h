// The status display every step of a task calls: it shows the step and the
// result in the progress window the caller may supply (controls 404 and 505)
// and writes them, or the last system error, to the task's status log.
#ifndef ZEM_UPLOAD_STATUS_DISPLAY_H
#define ZEM_UPLOAD_STATUS_DISPLAY_H

#include "ZemUpload.h"

namespace zem::upload {

// Bits of the display mode; callers use 5 (time and step), 2 (result),
// 6 (time and result) and 0x10 (error).
constexpr int kShowStep = 0x01;
constexpr int kShowResult = 0x02;
constexpr int kShowTime = 0x04;
constexpr int kShowDate = 0x08;
constexpr int kShowError = 0x10;
constexpr int kShowTimeAndStep = kShowTime | kShowStep;

constexpr int kStepTextControl = 404;
constexpr int kResultTextControl = 505;

// The names of nStep and nResult; "" for a value out of range.
const char *StepName(int nStep);
const char *ResultName(int nResult);

// Today's date as month/day/year and the time of day, 8 characters each and
// a NUL.
void DateText(char (&szDate)[9]);
void TimeText(char (&szTime)[9]);

// Shows and logs as the mode says. Does nothing without a record or its
// pszMsg. The caller's last error is the same afterwards: the error mode of a
// later call must report the failure that came before, not the refusal of a
// window without the two controls.
void StatusDisplay(REQUEST_CONTEXT *ctx, int nMode);

// Moves the task to a step with a result and shows both (modes 5 and 2).
void ShowStep(REQUEST_CONTEXT *ctx, int nStep, int nResult);

}  // namespace zem::upload

#endif  // ZEM_UPLOAD_STATUS_DISPLAY_H
