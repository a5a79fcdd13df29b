// The enumerations of the web server's engine.
#pragma once

namespace corvane {

// The owner's answer for a request, in the system's order.
enum THttpGetFlag {
    hgSendDoc,         // send Document from the disk
    hgSendStream,      // send the stream the owner put into DocumentStream
    hgWillSendMySelf,  // the owner sends the response itself
    hg404,             // answer with the 404 page
    hgAcceptData,      // for POST: accept the request body
};

enum THttpSendType { httpSendHead, httpSendDoc };

}  // namespace corvane
