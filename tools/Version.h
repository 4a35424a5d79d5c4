// The version that lzhx and lzhpack print for --version.
#pragma once

const char ToolsVersion[] = "1.0";
