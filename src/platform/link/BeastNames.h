#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

namespace dunvel {

// The short names the WebSocket code on both ends of the link uses for Boost.Beast and
// Boost.Asio. Included only by that code's sources and their private headers.
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using ErrorCode = beast::error_code;

}  // namespace dunvel
