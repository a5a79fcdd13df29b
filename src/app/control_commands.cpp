#include "app/control_commands.h"

#include "app/admin_front.h"
#include "app/tls_commands.h"
#include "core/server_controller.h"
#include "core/window_thread.h"

namespace corvane {

AdminReply RunControlCommand(serverController& controller, const std::string& home, const AdminRequest& request)
{
    CORVANE_ASSERT_WINDOW_THREAD(controller.window());
    AdminContext context{controller.accounts(), &controller, home};
    if (IsTlsCommand(request)) return RunTlsCommand(request, context);
    AdminReply reply = RunAdminCommand(request, context);
    if (reply.status == kAdminDone && reply.changed && !WriteChangedStore(controller.accounts(), true))
        reply.err += "corvane-server: the change is in force, but the account files could not be written now; "
                     "they are written again at shut-down\n";
    return reply;
}

}  // namespace corvane
