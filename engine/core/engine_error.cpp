#include "engine/core/engine_error.h"

#include <cerrno>

#include "engine/core/error_table.h"

namespace zarnik {

namespace {

const detail::ErrorTableEntry* FindEntry(TErrorCode code) {
  size_t low = 0;
  size_t high = std::size(detail::kErrorTable);
  while (low < high) {
    size_t middle = (low + high) / 2;
    if (detail::kErrorTable[middle].code < code)
      low = middle + 1;
    else
      high = middle;
  }
  if (low < std::size(detail::kErrorTable) && detail::kErrorTable[low].code == code)
    return &detail::kErrorTable[low];
  return nullptr;
}

std::string ItemText(ErrorItem item, const TErrorContext& context) {
  const TErrorItems& i = context.items;
  switch (item) {
    case ErrorItem::Server: return i.serverName;
    case ErrorItem::User: return i.userName;
    case ErrorItem::Database: return i.databaseName;
    case ErrorItem::Table: return i.tableName;
    case ErrorItem::Field: return i.fieldName;
    case ErrorItem::Index: return i.indexName;
    case ErrorItem::Text: return i.text;
    case ErrorItem::Procedure: return i.procedureName;
    case ErrorItem::Event: return i.eventName;
    case ErrorItem::Line: return std::to_string(static_cast<uint32_t>(i.line));
    case ErrorItem::Column: return std::to_string(static_cast<uint32_t>(i.column));
    case ErrorItem::OSCode: return std::to_string(static_cast<uint32_t>(context.osErrorCode));
    case ErrorItem::None: break;
  }
  return {};
}

}  // namespace

std::string ShortString(std::string_view text) {
  return std::string(text.substr(0, kShortStringMax));
}

std::string GetErrorMessage(TErrorCode code, const TErrorContext& context) {
  const detail::ErrorTableEntry* entry = FindEntry(code);
  std::string_view templ = entry != nullptr ? entry->message : "An unknown error occurred";
  std::string result;
  size_t next = 0;
  for (size_t i = 0; i < templ.size(); ++i) {
    if (templ[i] == '%' && i + 1 < templ.size() && (templ[i + 1] == 's' || templ[i + 1] == 'u')) {
      if (entry != nullptr && next < std::size(entry->items)) result += ItemText(entry->items[next++], context);
      ++i;
    } else {
      result += templ[i];
    }
  }
  if (result.size() > kMaxErrorMessage) result.resize(kMaxErrorMessage);
  return result;
}

std::string GetErrorName(TErrorCode code) {
  const detail::ErrorTableEntry* entry = FindEntry(code);
  return entry != nullptr ? entry->name : "";
}

TErrorCode TranslateErrno(int osError) {
  switch (osError) {
    case ENOENT:
    case ENOTDIR: return ZARNIK_OSENOENT;
    case EMFILE:
    case ENFILE: return ZARNIK_OSEMFILE;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EEXIST:
    case EROFS:
    case ETXTBSY:
    case EWOULDBLOCK: return ZARNIK_OSEACCES;
    case EBADF: return ZARNIK_OSEBADF;
    case ENOMEM: return ZARNIK_OSENOMEM;
    case ENODEV:
    case ENXIO: return ZARNIK_OSENODEV;
    case EXDEV: return ZARNIK_OSENOTSAM;
    default: return ZARNIK_OSUNKNOWN;
  }
}

TErrorCode GetExceptionErrorCode(const std::exception& error) {
  if (const auto* engineError = dynamic_cast<const EZARNIKEngineError*>(&error)) return engineError->ErrorCode;
  return ZARNIK_OSUNKNOWN;
}

TErrorCode GetExceptionErrorCode(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return GetExceptionErrorCode(e);
  } catch (...) {
  }
  return ZARNIK_OSUNKNOWN;
}

namespace {
std::string EngineErrorText(const TErrorContext& context) {
  return "ZARNIK Engine Error # " + std::to_string(context.errorCode) + " " +
         GetErrorMessage(context.errorCode, context);
}
}  // namespace

EZARNIKEngineError::EZARNIKEngineError(const TErrorContext& context)
    : EDatabaseError(EngineErrorText(context)),
      ErrorCode(context.errorCode),
      OSErrorCode(context.osErrorCode),
      SocketErrorCode(context.socketErrorCode),
      ErrorServerName(context.items.serverName),
      ErrorUserName(context.items.userName),
      ErrorDatabaseName(context.items.databaseName),
      ErrorTableName(context.items.tableName),
      ErrorFieldName(context.items.fieldName),
      ErrorIndexName(context.items.indexName),
      ErrorText(context.items.text),
      ErrorProcedureName(context.items.procedureName),
      ErrorEventName(context.items.eventName),
      ErrorLine(context.items.line),
      ErrorColumn(context.items.column) {}

}  // namespace zarnik
