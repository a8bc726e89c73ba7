// Everything of the host management library in one include.
#pragma once

#include <platform/AdvancedOptions.h>
#include <platform/Host.h>
#include <platform/Ipv4Address.h>
#include <platform/NodeCtlException.h>
