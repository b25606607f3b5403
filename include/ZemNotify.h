/// @file ZemNotify.h
/// The notification procedure a caller registers with a client object or an
/// upload task, and the codes it receives.
#ifndef ZEM_ZEMNOTIFY_H
#define ZEM_ZEMNOTIFY_H

#include "windows.h"

/// A caller's notification procedure, for a client object and an upload task.
///
/// pvData:  the value registered with the procedure (a client's user pointer).
/// nCode:   one of the NOTIFY_ codes below.
/// nSecond: a client's connection number, or an upload task's second
///          registered value; pointer-sized because a task passes a caller's
///          value there.
/// nValue:  the notification's value (error number, step or text pointer);
///          pointer-sized so that a status text arrives intact.
typedef void(CALLBACK *ZEMNOTIFYPROC)(void *pvData, int nCode, INT_PTR nSecond, INT_PTR nValue);

/// @name Notification codes
///@{
#define NOTIFY_RELEASED 1  ///< upload tasks only: the task was released
#define NOTIFY_COMPLETE 2  ///< a response was downloaded
#define NOTIFY_ERROR 0x20  ///< value: the error number
#define NOTIFY_PROGRESS 0x80  ///< value: the step reached
#define NOTIFY_STATUS_TEXT 0x2000  ///< client only; value: a text pointer
///@}

/// @name Notification targets
/// Which of a client's two procedures a notification is sent to.
///@{
#define NOTIFY_TO_RESULT 1  ///< the result procedure (SetNotifyResultProc)
#define NOTIFY_TO_STATUS 2  ///< the status procedure (SetNotifyStatusProc)
///@}

#endif  // ZEM_ZEMNOTIFY_H
