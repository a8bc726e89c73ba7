// Everything of the PAM policy and name-service switch model: value classes
// for both files and their text readers and writers. The library itself
// never edits these files; the model is here for callers that do.
#pragma once

#include <SystemConfiguration/Exceptions.h>
#include <SystemConfiguration/NSSConfiguration.h>
#include <SystemConfiguration/NSSDatabase.h>
#include <SystemConfiguration/NSSService.h>
#include <SystemConfiguration/PAMControl.h>
#include <SystemConfiguration/PAMEntry.h>
#include <SystemConfiguration/PAMFacility.h>
#include <SystemConfiguration/PAMPolicy.h>
#include <SystemConfiguration/PAMStack.h>
