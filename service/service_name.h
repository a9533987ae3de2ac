// The name the service is registered and found under. install.cmd,
// uninstall.cmd and the package's tables spell it too.
#pragma once

constexpr char kServiceName[] = "Corvane Remote Starter";
