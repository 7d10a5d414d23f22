#pragma once
// How the layers below the screens report a failure that ends the upgrade.
// The screens install the presenter (the failure message box); until then,
// and in programs without screens, the message goes to standard error.
namespace platform {

using FailurePresenter = void (*)(const char* message);

void set_failure_presenter(FailurePresenter presenter);
// Shows the message and returns once the user has dismissed it.
void present_failure(const char* message);

}  // namespace platform
