// Everything the library offers its callers, in one include.
#pragma once

#include <orvane/authentication/ActiveDirectoryClient.h>
#include <orvane/authentication/ActiveDirectoryConfigStore.h>
#include <orvane/authentication/ActiveDirectoryProvider.h>
#include <orvane/authentication/ActiveDirectoryStore.h>
#include <orvane/authentication/Configuration.h>
#include <orvane/authentication/Domain.h>
#include <orvane/authentication/Exceptions.h>
#include <orvane/authentication/Export.h>
#include <orvane/authentication/JORVProxy.h>
#include <orvane/authentication/JORVProxyClient.h>
#include <orvane/authentication/JORVRecords.h>
#include <orvane/authentication/JoinRetries.h>
#include <orvane/authentication/PluginStatus.h>
#include <orvane/authentication/Stores.h>
#include <orvane/authentication/ThreadUtil.h>
#include <SystemConfiguration/SystemConfiguration.h>
